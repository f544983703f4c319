// The audio read commands of the four read methods, and the one-sector spin-up read that
// keeps the selected drive turning between songs.
#pragma once

#include <cstdint>

// Writes the CDB reading `count` sectors from logical block `lba` with `readMethod` (LUN in
// bits 5..7 of byte 1) and returns its length:
//   0  READ(10) 0x28, 10 bytes, address in 2..5, count in 7..8
//   1  0xD4 (NEC), the same layout
//   2  0xD8, 12 bytes, address in 2..5, count in 6..9
//   3  READ CD 0xBE, 12 bytes, byte 1 also 0x04 (CD-DA sectors), address in 2..5, count in
//      6..8, byte 9 0x10 (user data)
int BuildReadCdb(int readMethod, int32_t lba, int count, int lun, uint8_t cdb[16]);

// Reads one sector of the selected drive at `sector` (a logical block address) with the
// current read settings and throws the data away. Returns the final request status.
int read_atapi(int32_t sector);

// Swaps the bytes of every 16-bit sample in data[0..length) (drives that deliver big-endian
// samples).
void SwapSampleBytes(uint8_t* data, int32_t length);

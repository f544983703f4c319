#include "cdinfo/disc_id.h"

#include <cddb/cddb.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace {

// libcddb's disc id for the same layout: frame offsets of the tracks and the disc length in
// seconds up to the lead-out.
uint32_t LibcddbDiscId(const DiscLayout& layout) {
  cddb_disc_t* disc = cddb_disc_new();
  for (int i = 0; i < layout.trackCount; ++i) {
    cddb_track_t* track = cddb_track_new();
    cddb_track_set_frame_offset(track, cdinfo::MsfToFrames(layout.position[i]));
    cddb_disc_add_track(disc, track);
  }
  const int last = layout.trackCount - 1;
  const int leadOut =
      cdinfo::MsfToFrames(layout.position[last]) + cdinfo::MsfToFrames(layout.length[last]);
  cddb_disc_set_length(disc, static_cast<unsigned>(leadOut / 75));
  cddb_disc_calc_discid(disc);
  const uint32_t id = cddb_disc_get_discid(disc);
  cddb_disc_destroy(disc);
  return id;
}

DiscLayout FromFrames(const std::vector<int>& lengths, int firstStart = 150) {
  DiscLayout layout;
  int start = firstStart;
  for (int frames : lengths) {
    layout.position[layout.trackCount] = cdinfo::FramesToMsf(start);
    layout.length[layout.trackCount] = cdinfo::FramesToMsf(frames);
    ++layout.trackCount;
    start += frames;
  }
  return layout;
}

}  // namespace

TEST(MsfTest, PackingAndFrames) {
  const uint32_t msf = cdinfo::PackMsf(3, 2, 74);
  EXPECT_EQ(msf, 0x4A0203u);
  EXPECT_EQ(
      cdinfo::MsfMinutes(msf) * 10000 + cdinfo::MsfSeconds(msf) * 100 + cdinfo::MsfFrames(msf),
      30274);
  EXPECT_EQ(cdinfo::FramesToMsf(cdinfo::MsfToFrames(msf)), msf);
  EXPECT_EQ(cdinfo::FramesToMsf(150), cdinfo::PackMsf(0, 2, 0));
}

TEST(DiscIdTest, OneTrackOfThreeMinutesAndNoTracks) {
  const uint32_t position[] = {cdinfo::PackMsf(0, 2, 0)};
  const uint32_t length[] = {cdinfo::PackMsf(3, 0, 0)};
  char id[9];
  EXPECT_EQ(ComputeDiscId(1, position, length, id), cdinfo::PackMsf(3, 2, 0));  // the lead-out
  EXPECT_STREQ(id, "0200b401");
  EXPECT_EQ(ComputeDiscId(0, nullptr, nullptr, id), 0u);
  EXPECT_STREQ(id, "00000000");
}

TEST(DiscIdTest, AgreesWithLibcddb) {
  std::vector<DiscLayout> layouts = {
      FromFrames({13500}),
      FromFrames({17000, 21011, 9999, 30000, 15432}),
      FromFrames(std::vector<int>(12, 4500)),
      FromFrames({300, 74, 76, 150}, 182),  // short tracks, odd start
      FromFrames({270000, 60000}),          // a long disc: over an hour
      FromFrames(std::vector<int>(99, 2777)),
  };
  // Random layouts, including ones whose seconds have many digits.
  std::mt19937 random(12345);
  for (int k = 0; k < 40; ++k) {
    std::vector<int> lengths(1 + random() % 30);
    for (int& frames : lengths) frames = 200 + static_cast<int>(random() % 30000);
    layouts.push_back(FromFrames(lengths, 150 + static_cast<int>(random() % 400)));
  }
  for (const DiscLayout& layout : layouts) {
    char id[9];
    ComputeDiscId(layout.trackCount, layout.position, layout.length, id);
    const uint32_t expected = LibcddbDiscId(layout);
    char text[9];
    std::snprintf(text, sizeof text, "%08x", expected);
    EXPECT_STREQ(id, text) << "tracks " << layout.trackCount;
    EXPECT_EQ(DiscIdValue(layout.trackCount, layout.position, layout.length), expected);
  }
}

// MusicBrainz disc ids against libdiscid, the reference implementation nobody here wrote.
#include "cdinfo/musicbrainz_disc_id.h"

#include <discid/discid.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/cd/host_layer.h"
#include "tools/cli/cdinfo_commands.h"

namespace {

// Tracks of the given lengths (frames) one after the other; the last `data` of them are data
// tracks of a second session, which starts kSessionGapSectors after the audio ends.
DiscLayout Generated(const std::vector<int>& lengths, int data = 0) {
  DiscLayout layout;
  int start = 150;
  for (size_t i = 0; i < lengths.size(); ++i) {
    const bool isData = static_cast<int>(i) >= static_cast<int>(lengths.size()) - data;
    if (isData && !layout.dataTrack[layout.trackCount - 1]) start += kSessionGapSectors;
    layout.position[layout.trackCount] = cdinfo::FramesToMsf(start);
    layout.length[layout.trackCount] = cdinfo::FramesToMsf(lengths[i]);
    layout.dataTrack[layout.trackCount] = isData;
    ++layout.trackCount;
    start += lengths[i];
  }
  return layout;
}

struct Peer {
  std::string id;
  std::string toc;  // "first last leadout offset..."
};

// libdiscid's answer for the audio tracks, the lead-out where the audio session ends.
Peer Libdiscid(const DiscLayout& layout) {
  int audio = layout.trackCount;
  while (audio > 0 && layout.dataTrack[audio - 1]) --audio;
  int offsets[100] = {};
  for (int i = 0; i < audio; ++i) offsets[i + 1] = cdinfo::MsfToFrames(layout.position[i]);
  offsets[0] = audio == layout.trackCount
                   ? cdinfo::MsfToFrames(layout.position[audio - 1]) +
                         cdinfo::MsfToFrames(layout.length[audio - 1])
                   : cdinfo::MsfToFrames(layout.position[audio]) - kSessionGapSectors;
  DiscId* disc = discid_new();
  if (!discid_put(disc, 1, audio, offsets)) {
    ADD_FAILURE() << "libdiscid refuses the layout: " << discid_get_error_msg(disc);
    discid_free(disc);
    return Peer{};
  }
  Peer peer{discid_get_id(disc), discid_get_toc_string(disc)};
  discid_free(disc);
  return peer;
}

std::string Spaced(std::string toc) {
  for (char& c : toc)
    if (c == '+') c = ' ';
  return toc;
}

void ExpectSameAsLibdiscid(const DiscLayout& layout, const std::string& what) {
  const MusicBrainzToc toc = MusicBrainzTocOf(layout);
  const Peer peer = Libdiscid(layout);
  const std::string id = MusicBrainzDiscId(toc);
  EXPECT_EQ(id, peer.id) << what;
  EXPECT_EQ(id.size(), static_cast<size_t>(kMusicBrainzIdChars)) << what;
  EXPECT_EQ(Spaced(MusicBrainzTocParameter(toc)), peer.toc) << what;
}

}  // namespace

TEST(MusicBrainzDiscIdTest, AgreesWithLibdiscid) {
  std::mt19937 random(2024);
  // Random track lengths that fit on a disc of 80 minutes.
  const auto lengths = [&random](int n) {
    std::vector<int> frames(static_cast<size_t>(n));
    for (int& f : frames) f = 300 + static_cast<int>(random() % static_cast<unsigned>(340000 / n));
    return frames;
  };
  ExpectSameAsLibdiscid(Generated({13500}), "one track");
  ExpectSameAsLibdiscid(Generated({17000, 21011}), "two tracks");
  ExpectSameAsLibdiscid(Generated(std::vector<int>(99, 2777)), "99 tracks");
  ExpectSameAsLibdiscid(Generated(lengths(99)), "99 tracks of random lengths");
  ExpectSameAsLibdiscid(Generated({270000, 60000}), "over an hour");
  for (int k = 0; k < 20; ++k) {
    const int n = 1 + static_cast<int>(random() % 40);
    ExpectSameAsLibdiscid(Generated(lengths(n)), "random " + std::to_string(n));
  }
  // An enhanced CD: the data session at the end is not part of the id.
  ExpectSameAsLibdiscid(Generated(lengths(12), 1), "12 + 1 data track");
  ExpectSameAsLibdiscid(Generated(lengths(5), 2), "3 + 2 data tracks");
  ExpectSameAsLibdiscid(Generated(lengths(2), 1), "1 + 1 data track");

  // Nothing to look up: no track, or only data.
  EXPECT_EQ(MusicBrainzDiscId(MusicBrainzTocOf(DiscLayout{})), "");
  EXPECT_EQ(MusicBrainzDiscId(MusicBrainzTocOf(Generated({5000, 6000}, 2))), "");
}

TEST(MusicBrainzDiscIdTest, DemoDiscFromTheCommandLine) {
  const std::string demo = DemoDiscPath();
  DiscLayout layout;
  std::string error;
  ASSERT_TRUE(ReadImageLayout(demo, &layout, &error)) << demo << ": " << error;
  std::string out, err;
  ASSERT_EQ(CommandDiscId({demo, "--musicbrainz"}, &out, &err), 0) << err;
  EXPECT_EQ(out, Libdiscid(layout).id + "\n");
  EXPECT_EQ(CommandDiscId({demo, "--musicbrainz", "--musicbrainz"}, &out, &err), 2);
}

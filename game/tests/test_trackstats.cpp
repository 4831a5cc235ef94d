// Best-time tables: the insertion rule, and reading and writing the track
// statistics file.
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "filesystemshim.h"
#include "testsupport.h"
#include "track/trackstats.h"
#include "xml.h"

using glimro::TimeEntry;
using glimro::TimeTable;
using glimro::TrackStats;
using korvu_test::makeTempDir;
using korvu_test::readFile;
using korvu_test::writeFile;

namespace {

std::string names(const TimeTable& table) {
  std::string out;
  for (const TimeEntry& e : table.entries) out += (e.name.empty() ? "-" : e.name) + ":" + std::to_string(e.ticks) + " ";
  return out;
}

}  // namespace

TEST(TimeTable, InsertionKeepsTheTenBestAndEarlierEqualTimesFirst) {
  TimeTable table;
  EXPECT_EQ(table.add(TimeEntry(65000, "a")), 0);
  EXPECT_EQ(table.add(TimeEntry(64000, "b")), 0);
  EXPECT_EQ(table.add(TimeEntry(65000, "c")), 2);  // after the equal one
  EXPECT_EQ(table.add(TimeEntry(0, "empty")), -1);
  EXPECT_EQ(names(table), "b:64000 a:65000 c:65000 -:0 -:0 -:0 -:0 -:0 -:0 -:0 ");

  for (int i = 0; i < 7; ++i) EXPECT_EQ(table.add(TimeEntry(70000 + i, "x" + std::to_string(i))), 3 + i);
  // Full: the tenth is 70006. An equal or worse time is refused and changes nothing.
  const std::string full = names(table);
  EXPECT_EQ(table.add(TimeEntry(70006, "late")), -1);
  EXPECT_EQ(table.add(TimeEntry(99999, "slow")), -1);
  EXPECT_EQ(names(table), full);
  // A better one takes its place and the old tenth falls away.
  EXPECT_EQ(table.add(TimeEntry(69000, "good")), 3);
  EXPECT_EQ(table.entries[3].name, "good");
  EXPECT_EQ(table.entries[9].ticks, 70005);

  EXPECT_FALSE(TimeEntry() < TimeEntry());
  EXPECT_FALSE(TimeEntry() < TimeEntry(5, "x"));
  EXPECT_TRUE(TimeEntry(5, "x") < TimeEntry());
  EXPECT_FALSE(TimeEntry(5, "x") < TimeEntry(5, "y"));
}

// Two copies' tables: an entry both hold counts once (one held twice by a
// table stays twice), the ten best in order, this table's first among equals.
TEST(TimeTable, MergeKeepsTheBestOfBothAndCountsSharedEntriesOnce) {
  TimeTable mine, theirs;
  for (long t : {500, 500, 700, 1003}) mine.add(TimeEntry(t, "a"));
  for (long t : {500, 600, 700, 700, 1003}) theirs.add(TimeEntry(t, "a"));
  theirs.add(TimeEntry(700, "e"));
  for (int i = 0; i < 2; ++i) mine.merge(theirs);  // the second brings nothing new
  EXPECT_EQ(names(mine), "a:500 a:500 a:600 a:700 a:700 e:700 a:1003 -:0 -:0 -:0 ");
  TimeTable full;
  for (int i = 0; i < 10; ++i) full.add(TimeEntry(1000 + i, "f"));
  full.merge(mine);
  EXPECT_EQ(names(full), "a:500 a:500 a:600 a:700 a:700 e:700 f:1000 f:1001 f:1002 f:1003 ");
}

TEST(TrackStats, SavedFileHasAllSlotsAndReadsBack) {
  std::string dir = makeTempDir();
  TrackStats stats;
  stats.laptimes.add(TimeEntry(61234, "Al & \"Bo\""));
  stats.tracktimes.add(TimeEntry(190000, "Cy"));
  stats.save(dir + "/track_short_stats.xml");

  std::string text = readFile(dir + "/track_short_stats.xml");
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<trackstats>\n  <laptimes>\n"
                       "    <entry name=\"Al &amp; &quot;Bo&quot;\" ticks=\"61234\"/>\n"
                       "    <entry name=\"\" ticks=\"0\"/>\n", 0), 0u);
  size_t entries = 0;
  for (size_t at = text.find("<entry"); at != std::string::npos; at = text.find("<entry", at + 1)) ++entries;
  EXPECT_EQ(entries, 20u);
  EXPECT_LT(text.find("<laptimes>"), text.find("<tracktimes>"));

  TrackStats back;
  back.load(dir + "/track_short_stats.xml");
  EXPECT_EQ(names(back.laptimes), names(stats.laptimes));
  EXPECT_EQ(names(back.tracktimes), names(stats.tracktimes));

  // Loading merges into what the tables hold.
  back.load(dir + "/track_short_stats.xml");
  EXPECT_EQ(back.laptimes.entries[1].ticks, 61234);
}

TEST(TrackStats, LenientReadingTakesTheTenBestInOrder) {
  std::string dir = makeTempDir();
  std::string laps;
  // Twelve entries in no order, one in hex, one in octal, and things that are not entries.
  const char* ticks[] = {"9000", "3000", "0x3e8", "12000", "7000", "0", "010", "5000", "11000", "2000", "4000", "6000"};
  for (int i = 0; i < 12; ++i) laps += "<entry name=\"n" + std::to_string(i) + "\" ticks=\"" + ticks[i] + "\"/>";
  writeFile(dir + "/s.xml", "<trackstats><other/><laptimes><note/>" + laps +
                                "<entry name=\"noticks\"/><entry ticks=\"-5\" name=\"neg\"/>"
                                "<entry ticks=\"99999999999\" name=\"huge\"/><entry ticks=\"1500\"/>"
                                "</laptimes></trackstats>");
  TrackStats stats;
  stats.load(dir + "/s.xml");
  EXPECT_EQ(names(stats.laptimes),
            "n6:8 n2:1000 -:1500 n9:2000 n1:3000 n10:4000 n7:5000 n11:6000 n4:7000 n0:9000 ");
  EXPECT_EQ(names(stats.tracktimes), "-:0 -:0 -:0 -:0 -:0 -:0 -:0 -:0 -:0 -:0 ");

  writeFile(dir + "/only.xml", "<trackstats><tracktimes><entry name=\"r\" ticks=\"100\"/></tracktimes></trackstats>");
  TrackStats only;
  only.load(dir + "/only.xml");
  EXPECT_EQ(only.laptimes.entries[0].ticks, 0);
  EXPECT_EQ(only.tracktimes.entries[0].name, "r");
}

TEST(TrackStats, UnreadableFilesThrowAndChangeNothing) {
  std::string dir = makeTempDir();
  writeFile(dir + "/broken.xml", "<trackstats><laptimes><entry ticks=\"5\"></laptimes>");
  writeFile(dir + "/other.xml", "<profiles><laptimes><entry ticks=\"5\" name=\"x\"/></laptimes></profiles>");
  TrackStats stats;
  stats.laptimes.add(TimeEntry(42, "kept"));
  EXPECT_THROW(stats.load(dir + "/missing.xml"), std::string);
  EXPECT_THROW(stats.load(dir + "/broken.xml"), std::string);
  EXPECT_THROW(stats.load(dir + "/other.xml"), std::string);
  EXPECT_EQ(names(stats.laptimes), "kept:42 -:0 -:0 -:0 -:0 -:0 -:0 -:0 -:0 -:0 ");
  // A save that cannot be written throws and leaves no file behind.
  EXPECT_THROW(stats.save(dir + "/no/such/dir/s.xml"), std::string);

  // A save over a file that cannot be read keeps that file aside first;
  // when the write then fails, the file stays in its place.
  {
    korvu_test::FileSystemShim shim;
    shim.predictableNames = true;
    ASSERT_EQ(mkdir(korvu_test::temporaryOf(dir + "/broken.xml").c_str(), 0755), 0);
    EXPECT_THROW(stats.save(dir + "/broken.xml"), std::string);
    EXPECT_EQ(readFile(dir + "/broken.xml"), "<trackstats><laptimes><entry ticks=\"5\"></laptimes>");
    ASSERT_EQ(rmdir(korvu_test::temporaryOf(dir + "/broken.xml").c_str()), 0);
  }
  for (const char* file : {"/broken.xml", "/other.xml"}) {
    const std::string old = readFile(dir + file);
    stats.save(dir + file);
    EXPECT_EQ(readFile(dir + file + ".broken"), old);
    TrackStats back;
    back.load(dir + file);
    EXPECT_EQ(names(back.laptimes), names(stats.laptimes));
  }
}

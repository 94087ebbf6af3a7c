// The timeline's table, its segment search, fades and frame numbers.

#include <gtest/gtest.h>

#include <cmath>

#include "driver/demo.h"

namespace {

TEST(TimelineLocate, WorkedNumbers) {
  // Half a second before the logo: the intro near its end, fading out.
  TimelinePosition intro = LocateTimeline(14.5f);
  EXPECT_EQ(intro.segment, 0);
  EXPECT_EQ(intro.fade, 127);
  EXPECT_NEAR(SceneFrameNumber(timeline[0].firstFrame, timeline[0].lastFrame, intro.progress), 289.03f, 0.01f);

  // The logo starts exactly at 15 s, black.
  TimelinePosition logo = LocateTimeline(15.0f);
  EXPECT_EQ(logo.segment, 1);
  EXPECT_EQ(timeline[logo.segment].kind, segmentLogo);
  EXPECT_EQ(logo.fade, 0);
  EXPECT_EQ(logo.progress, 0.0f);

  // From 218 s on nothing matches: the end sequence.
  EXPECT_EQ(LocateTimeline(218.0f).segment, -1);
  EXPECT_EQ(LocateTimeline(4000.0f).segment, -1);
  EXPECT_EQ(LocateTimeline(217.999f).segment, 13);
}

TEST(TimelineLocate, EverySegmentFadesInAndOutOverOneSecond) {
  for (int i = 0; i < 14; ++i) {
    SCOPED_TRACE(i);
    const float start = timeline[i].start, end = timeline[i + 1].start;
    EXPECT_EQ(LocateTimeline(start).segment, i);
    EXPECT_EQ(LocateTimeline(start).fade, 0);
    EXPECT_EQ(LocateTimeline(start + 0.5f).fade, 127);
    EXPECT_EQ(LocateTimeline(start + 1.5f).fade, 255);
    EXPECT_EQ(LocateTimeline(end - 0.5f).fade, 127);
    // The last moment before the next segment is nearly black again.
    EXPECT_LE(LocateTimeline(std::nextafter(end, 0.0f)).fade, 1);
    EXPECT_NEAR(LocateTimeline(start + (end - start) / 2).progress, 0.5f, 1e-5f);
  }
  // The shortest segment (planet_part1, 95 to 98 s) is bright only between its
  // first and second second.
  EXPECT_EQ(LocateTimeline(95.99f).fade, 252);
  EXPECT_EQ(LocateTimeline(96.5f).fade, 255);
  EXPECT_EQ(LocateTimeline(97.01f).fade, 252);
}

TEST(TimelineLocate, MainSceneContinuesWhereItLeftOff) {
  // Each later piece of mainscene starts on the frame the previous one ended on.
  const int pieces[] = {2, 4, 6, 10, 12};
  for (int p = 0; p + 1 < 5; ++p) {
    const TimelineEntry& a = timeline[pieces[p]];
    const TimelineEntry& b = timeline[pieces[p + 1]];
    EXPECT_EQ(a.kind, 3);
    EXPECT_EQ(a.lastFrame, b.firstFrame);
    const float endOfA = std::nextafter(timeline[pieces[p] + 1].start, 0.0f);
    EXPECT_NEAR(SceneFrameNumber(a.firstFrame, a.lastFrame, LocateTimeline(endOfA).progress),
                static_cast<float>(a.lastFrame), 0.01f);
  }
  // Linear in time: mainscene's first piece plays 0 to 685 in 25 seconds.
  EXPECT_NEAR(SceneFrameNumber(0, 685, LocateTimeline(32.5f).progress), 342.5f, 0.01f);
}

}  // namespace

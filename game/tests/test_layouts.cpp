// The alternate and the third track built from stand-in models: section
// counts, where each curve begins, which road kind each piece is, and the
// choice of layout by track number.
#include <memory>
#include <string>
#include <vector>

#include "ddd/bezier.h"
#include "track/layouts.h"
#include "standins.h"
#include "vectorchecks.h"

using glimro::AlternateTrack;
using glimro::Track;
using glimro::Track03;
using glimro::TrackSection;
using korvu::Matrix3D;
using korvu::Vector3D;
using korvu::ddd::BezierCurve;
using korvu::ddd::ModelBank;
using korvu_test::expectMatrixNear;
using korvu_test::expectVec;

namespace {

std::vector<TrackSection*> build(Track& track, ModelBank& bank) {
  track.modelBank = &bank;
  track.load();
  return std::vector<TrackSection*>(track.sections.begin(), track.sections.end());
}

int kind(const TrackSection* s) { return standins::kindOf(*s->ModelObject::model); }

// Where the far end of a piece's centre line lies in the world.
Vector3D farEnd(const TrackSection* s) { return s->rotation * standins::farCentre(*s->ModelObject::model) + s->position; }

// Each piece's collision model is bent from the same kind as its road.
void expectMatchingCollision(const std::vector<TrackSection*>& sections) {
  for (const TrackSection* s : sections) {
    EXPECT_EQ(s->Collideable::model->vertices.size(), s->ModelObject::model->vertices.size()) << s->index;
  }
}

}  // namespace

TEST(AlternateTrack, CurvesPiecesAndKinds) {
  ModelBank bank;
  standins::fill(bank);
  const size_t standIns = bank.size();
  AlternateTrack track;
  std::vector<TrackSection*> s = build(track, bank);
  ASSERT_EQ(s.size(), 179u);
  EXPECT_EQ(bank.size(), standIns + 2 * 179);
  EXPECT_TRUE(track.objects.size() == 179u);  // no scenery
  expectMatchingCollision(s);

  const int firsts[] = {0, 4, 8, 12, 27, 42, 50, 58, 70, 78, 88, 98, 104, 113, 123, 127, 137, 145, 153, 161, 167, 171, 175};
  const Vector3D starts[] = {{0, 0, 0},          {600, 50, 0},      {1200, 150, 0},    {1600, 150, 400},
                             {2800, 150, 0},     {1300, 150, -700}, {900, 150, 300},   {900, 150, 1200},
                             {-500, 150, 1200},  {-500, 250, 300},  {-500, 200, -600}, {600, 200, -600},
                             {1200, 200, 600},   {3000, 200, 100},  {900, 200, -1500}, {-300, 200, -1500},
                             {-1400, 200, -700}, {-1400, 200, 200}, {-1900, 200, 900}, {-2500, 200, 400},
                             {-2000, 200, 0},    {-1400, 150, 0},   {-800, 25, 0}};
  for (int k = 0; k < 23; ++k) {
    SCOPED_TRACE(k + 1);
    expectVec(s[firsts[k]]->position, starts[k].x, starts[k].y, starts[k].z, 1e-3f);
    const std::string first = "tracksection" + std::to_string(k + 1) + std::string(7, ' ') + "0";
    EXPECT_EQ(s[firsts[k]]->ModelObject::model->name, first);
  }
  expectVec(s[178]->position, -223.4375f, 0.390625f, 0, 1e-3f);
  expectVec(farEnd(s[178]), 0, 0, 0, 0.01f);  // the lap closes at the portal

  using namespace standins;
  for (int i = 0; i < 179; ++i) {
    int expected = PLAIN;
    if (i == 12 || i == 27 || i == 50) expected = TUNNEL_START;
    else if (i == 26 || i == 41 || i == 57) expected = TUNNEL_END;
    else if ((i > 12 && i < 26) || (i > 27 && i < 41) || (i > 50 && i < 57)) expected = TUNNEL;
    else if (i == 98) expected = TO_SECOND;
    else if (i == 126) expected = TO_PLAIN;
    else if (i > 98 && i < 126) expected = SECOND;
    EXPECT_EQ(kind(s[i]), expected) << "section " << i;
    EXPECT_EQ(s[i]->needsViewPos, i < 98 || i > 126) << "section " << i;
  }
  expectVec(s[98]->position, 600, 200, -600, 1e-3f);
  expectVec(s[126]->position, 0, 200, -1500, 1e-3f);

  // Curve 4's pieces reach 0.0001 further along the curve than their share;
  // curve 5's meet end to end; the last widened piece ends at the curve's end.
  BezierCurve c4({1600, 150, 400}, {1600, 150, 1000}, {2800, 150, 1000}, {2800, 150, 0}, 20);
  BezierCurve c5({2800, 150, 0}, {2800, 150, -1000}, {1900, 150, -1000}, {1300, 150, -700}, 20);
  for (int i = 0; i < 15; ++i) {
    SCOPED_TRACE(i);
    const Vector3D end4 = c4.getVertexAt(i == 14 ? 1.0f : static_cast<float>((i + 1) / 15.0 + 0.0001));
    EXPECT_LT((farEnd(s[12 + i]) - end4).length(), 0.02f);
    EXPECT_GT((farEnd(s[12 + i]) - c4.getVertexAt((i + 1) / 15.0f)).length(), i == 14 ? -1.0f : 0.1f);
    EXPECT_LT((farEnd(s[27 + i]) - c5.getVertexAt((i + 1) / 15.0f)).length(), 0.02f);
  }

  // The portal stands at the origin, facing along +x.
  ASSERT_EQ(track.children.size(), 1u);
  const korvu::ddd::Object* portal = track.children.front();
  expectVec(portal->position, 0, 0, 0);
  expectVec(portal->rotation * Vector3D(0, 0, -1), 1, 0, 0, 1e-4f);
  EXPECT_EQ(portal->children.size(), 3u);
}

TEST(Track03, ThreeChainsOfCurvesWithTunnelAndSecondRoad) {
  ModelBank bank;
  standins::fill(bank);
  const size_t standIns = bank.size();
  Track03 track;
  std::vector<TrackSection*> s = build(track, bank);
  ASSERT_EQ(s.size(), 142u);
  EXPECT_EQ(bank.size(), standIns + 284);
  expectMatchingCollision(s);

  struct First { int index; const char* name; Vector3D start; };
  const First firsts[] = {{0, "s1tracksection1", {0, 0, 0}},         {4, "s1tracksection2", {600, 50, 0}},
                          {10, "s2tracksection1", {1300, 0, 0}},     {45, "s2tracksection9", {1400, 165, 600}},
                          {51, "s2tracksection10", {800, 0, 1000}},  {59, "s1tracksection3", {600, -400, 100}},
                          {69, "s1tracksection5", {-200, -325, -800}}, {80, "s3tracksection1", {-200, 0, 300}},
                          {84, "s3tracksection2", {-200, 0, 900}},   {120, "s3tracksection10", {-800, -410, -300}},
                          {136, "s3tracksection14", {-1600, 0, 0}}};
  for (const First& f : firsts) {
    SCOPED_TRACE(f.name);
    expectVec(s[f.index]->position, f.start.x, f.start.y, f.start.z, 1e-3f);
    EXPECT_EQ(s[f.index]->ModelObject::model->name, std::string(f.name) + std::string(7, ' ') + "0");
  }
  const std::string blanks(7, ' ');
  EXPECT_EQ(s[54]->ModelObject::model->name, "s2tracksection10" + blanks + "3");
  EXPECT_EQ(s[54]->Collideable::model->name, "s2tracksection10Col" + blanks + "3");
  // The chains: 9 ends where 59 begins, 141 ends at the start of 0.
  expectVec(farEnd(s[9]), 600, -400, 100, 0.02f);
  expectVec(farEnd(s[141]), 0, 0, 0, 0.02f);
  // Last piece of s1-5 (seven pieces) ends at the curve's end.
  expectVec(farEnd(s[75]), -900, -145, 0, 0.02f);

  using namespace standins;
  for (int i = 0; i < 142; ++i) {
    int expected = PLAIN;
    if (i == 84) expected = TUNNEL_START;
    else if (i == 103) expected = TUNNEL_END;
    else if (i > 84 && i < 103) expected = TUNNEL;
    else if (i == 136) expected = TO_SECOND;
    else if (i == 141) expected = TO_PLAIN;
    else if (i > 136) expected = SECOND;
    EXPECT_EQ(kind(s[i]), expected) << "section " << i;
    EXPECT_EQ(s[i]->needsViewPos, i < 136) << "section " << i;
  }

  // The sign and four tribunes, in that order; tribune 2 unturned.
  ASSERT_EQ(track.objects.size(), 147u);
  const float degrees[] = {-90, -45, 0, -135, 180};
  const Vector3D where[] = {{-100, 70, 700}, {800, 80, -200}, {950, 80, -200}, {800, 80, 200}, {950, 80, 200}};
  auto o = track.objects.begin();
  for (int d = 0; d < 5; ++d, ++o) {
    SCOPED_TRACE(d);
    expectVec((*o)->position, where[d].x, where[d].y, where[d].z);
    Matrix3D r, inv;
    if (degrees[d] != 0) {
      r.setRotate(degrees[d], Vector3D(0, 1, 0));
      inv.setRotate(-degrees[d], Vector3D(0, 1, 0));
    }
    expectMatrixNear((*o)->rotation, r, 0);
    expectMatrixNear((*o)->inverseRotation, inv, 0);
  }
  EXPECT_EQ((*track.objects.begin())->parent, &track);
}

TEST(TrackLayouts, TrackNumberChoosesTheLayoutAndItsName) {
  struct Case { int number; const char* name; };
  for (const Case& c : {Case{0, "track_short"}, Case{1, "track_alternate"}, Case{2, "track_03"},
                        Case{3, "track_short"}, Case{-1, "track_short"}, Case{1 << 30, "track_short"}}) {
    std::unique_ptr<Track> track(glimro::createTrack(c.number));
    EXPECT_EQ(track->name, c.name) << c.number;
    EXPECT_EQ(track->statsFile(), std::string(c.name) + "_stats.xml");
    EXPECT_EQ(dynamic_cast<AlternateTrack*>(track.get()) != nullptr, c.number == 1);
    EXPECT_EQ(dynamic_cast<Track03*>(track.get()) != nullptr, c.number == 2);
  }
}

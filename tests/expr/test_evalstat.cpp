// The evaluation status built from the dimension environment, and station
// requests up to the point where the reader takes over.
#include <memory>

#include "base/cmnstate.h"
#include "vartest.h"

namespace {

std::unique_ptr<cmnstate> envstate(int vx, int vy, int vz, int vt) {
  auto pcm = std::make_unique<cmnstate>();
  pcm->vary[0] = vx;
  pcm->vary[1] = vy;
  pcm->vary[2] = vz;
  pcm->vary[3] = vt;
  pcm->loopdim = 3;
  pcm->wlo[0] = 0;
  pcm->whi[0] = 360;
  pcm->wlo[1] = -90;
  pcm->whi[1] = 90;
  pcm->tbeg = pcm->tend = datetime{1990, 1, 1, 0, 0};
  return pcm;
}

}  // namespace

TEST(EvalStatus, VaryingDimensionsAndLooping) {
  auto pcm = envstate(1, 1, 0, 1);
  evalstat* pst = getpst(pcm.get());
  ASSERT_NE(pst, nullptr);
  EXPECT_EQ(pst->idim, 0);
  EXPECT_EQ(pst->jdim, 1);
  EXPECT_EQ(pst->type, 1);
  EXPECT_EQ(pst->result.pgr, nullptr);
  EXPECT_EQ(pst->collections, pcm->collections);
  delete pst;

  pcm = envstate(0, 1, 1, 0);
  pst = getpst(pcm.get());
  ASSERT_NE(pst, nullptr);
  EXPECT_EQ(pst->idim, 1);
  EXPECT_EQ(pst->jdim, 2);
  delete pst;

  pcm = envstate(1, 0, 0, 0);
  pcm->looping = 1;
  pcm->loopdim = 2;
  std::string msg = captured([&] { EXPECT_EQ(getpst(pcm.get()), nullptr); });
  EXPECT_EQ(msg,
            "Operation error:  Invalid dimension environment\n"
            "  Looping dimension does not vary\n");

  pcm = envstate(1, 1, 1, 1);
  pcm->looping = 1;
  msg = captured([&] { EXPECT_EQ(getpst(pcm.get()), nullptr); });
  EXPECT_EQ(msg,
            "Operation error:  Invalid dimension environment\n"
            "  Too many varying dimensions \n");
}

TEST(EvalStatus, LongitudeAndLatitudeOrderCheckedOnlyWhenVarying) {
  auto pcm = envstate(1, 1, 0, 0);
  pcm->wlo[0] = 10;
  pcm->whi[0] = 5;
  std::string msg = captured([&] { EXPECT_EQ(getpst(pcm.get()), nullptr); });
  EXPECT_EQ(msg,
            "Operation error:  Invalid dimension environment\n"
            "  Min longitude > max longitude: 10 5 \n");
  pcm = envstate(0, 1, 0, 0);
  pcm->wlo[0] = 10;
  pcm->whi[0] = 5;
  evalstat* pst = getpst(pcm.get());
  EXPECT_NE(pst, nullptr);
  delete pst;
  pcm = envstate(0, 1, 1, 0);
  pcm->wlo[1] = 50;
  pcm->whi[1] = 40;
  msg = captured([&] { EXPECT_EQ(getpst(pcm.get()), nullptr); });
  EXPECT_EQ(msg,
            "Operation error:  Invalid dimension environment\n"
            "  Min latitude > max latitude: 50 40 \n");
}

namespace {

// A station file record without data: requests fail at the reader at the
// latest, so every refusal before it can be checked.
struct stnfile {
  datafile* pfi;
  stnfile() {
    pfi = getpfi();
    pfi->type = 2;
    pfi->undef = -999;
    pfi->abvals[3] = pfi->grvals[3] = timeaxis();
    filevar v;
    v.abbrv = "ts";
    pfi->pvar1.push_back(v);
  }
  ~stnfile() {
    std::free(pfi->abvals[3]);
    pfi->abvals[3] = pfi->grvals[3] = nullptr;
    frepfi(pfi, 1);
  }
};

}  // namespace

TEST(StationRequest, RefusalsBeforeReading) {
  stnfile sf;
  evalstat st = filest(sf.pfi);
  evalout o = evalon("lat", st);
  EXPECT_EQ(o.msg,
            "Data Request Error:  Predefined variable lat\n"
            "   is only defined for grid type files\n"
            "   File 1 is a station file\n"
            "  Error ocurred at column 1\n");
  o = evalon("ts(stid=abcdefghi)", st);
  EXPECT_EQ(o.msg,
            "Dimension Expression Error: stid too long\n"
            "  Variable name = ts\n"
            "  Error ocurred at column 1\n");
  o = evalon("ts(stid=)", st);
  EXPECT_EQ(o.msg,
            "Dimension Expression Error: No stid provided\n"
            "  Variable name = ts\n"
            "  Error ocurred at column 1\n");
  o = evalon("ts(stid=72518)", st);  // X and Y vary
  EXPECT_EQ(o.msg,
            "Data Request Error: Invalid dimension expression\n"
            "  Attempt to set or modify varying dimension\n"
            "  Variable = ts, Dimension = 5 \n"
            "  Error ocurred at column 1\n");
  o = evalon("ts(r=5)", st);
  EXPECT_NE(o.msg.find("  Variable = ts, Dimension = 4 \n"), std::string::npos);
  st.idim = 3;
  st.jdim = -1;
  o = evalon("ts(lev=500,lev=850)", st);
  EXPECT_EQ(o.msg,
            "Data Request Error: Invalid grid coordinates\n"
            "  Varying dimension 2 decreases: 500 to 850 \n"
            "  Error ocurred getting variable 'ts'\n"
            "  Error ocurred at column 1\n");
  o = evalon("ts(lat=1,lat=2,lat=3)", st);
  EXPECT_EQ(o.msg,
            "Syntax Error: Invalid dimension expression\n"
            "  Same dimension specified more than twice for variable = ts\n"
            "  Error ocurred at column 1\n");
  // A valid request reaches the reader.
  o = evalon("ts(stid=72518,lat=30,lat=50)", st);
  EXPECT_EQ(o.rc, 1);
  EXPECT_NE(o.msg.find("Data Request Error:  Variable is 'ts'\n"), std::string::npos);
  EXPECT_EQ(o.st.result.pgr, nullptr);
}

// The program runs through on the bundled example as a user runs it.
#include <gtest/gtest.h>

#include "test_support.h"

using namespace qv_test;

TEST(Smoke, ExamplePairRunsToTheClosingSummary) {
  temp_dir dir;
  const std::string ex = std::string(QUORVID_SOURCE_DIR) + "/examples/";
  run_result r = run_quorvid(dir.path(), "2 1\n" + ex + "impact_force.txt\n" + ex + "impact_response.txt\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("\n Press any key to exit."), std::string::npos);
  EXPECT_EQ(count_lines(dir / "H1_mp.out"), 2048u);
}

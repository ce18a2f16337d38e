#include <gtest/gtest.h>
#include "problem/Readers.h"
TEST(ProblemSmoke, Reads) {
  problem::CommandLineInput input;
  input.equations = {"x^2 - 2", "y - 1"};
  input.names = "x,y";
  auto r = problem::ReadCommandLine(input);
  ASSERT_TRUE(r.problem);
}

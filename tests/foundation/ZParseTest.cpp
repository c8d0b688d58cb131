#include "foundation/ZParse.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

TEST(ZParse, AtofRules) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"1.5", 1.5},     {"  -2.25xyz", -2.25}, {"+3", 3},   {"\t\r\n7e2", 700},
      {".5", 0.5},      {"abc", 0},            {"", 0},     {"-", 0},
      {"--1", 0},       {"1e", 1},             {"5.", 5},   {"1e-400", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(cvAtof(c.text), c.value) << c.text;
  EXPECT_TRUE(std::isinf(cvAtof("1e999")));
  // The view's end is respected even when more digits follow in memory.
  EXPECT_EQ(cvAtof(std::string_view("12345", 2)), 12);
}

TEST(ZParse, AtoiRules) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {"42", 42},          {"  -17abc", -17},       {"+8", 8},           {"3.9", 3},
      {"x1", 0},           {"", 0},                 {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN}, {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(cvAtoi(c.text), c.value) << c.text;
}

}  // namespace

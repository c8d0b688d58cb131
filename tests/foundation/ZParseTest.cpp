#include "foundation/ZParse.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

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

// The fast path must give exactly what from_chars gives: value bits, end and error, for the
// written forms that take it and for those that fall back.
TEST(ZParse, ParseFloatMatchesFromChars) {
  std::vector<std::string> texts = {
      "0",       "-0",        "0.0995", "-0.0499",  "16777216",  "16777217", "-1234.5678",
      "12345.6789", "0.1",    "5.",     ".5",       ".",         "-",        "",
      "1.5e3",   "1.5E-3",    "1.5e",   "2.5abc",   "1.2.3",     "inf",      "-nan",
      "0x1p3",   "0.00000000001", "0.0000000001", "99999999999999999999", "1e39", "3.4028236e38",
      "0000.50", "-.25",      "7.000000000000000001"};
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", int(random() % 11),
                  (double(random()) - 2147483648.0) / std::pow(10.0, double(random() % 9)));
    texts.emplace_back(text);
  }
  for (const std::string& text : texts) {
    const char* first = text.data();
    const char* last = first + text.size();
    float fast = 42, reference = 42;
    const auto a = parseFloat(first, last, fast);
    const auto b = std::from_chars(first, last, reference);
    ASSERT_EQ(a.ec, b.ec) << text;
    ASSERT_EQ(a.ptr, b.ptr) << text;
    ASSERT_EQ(std::bit_cast<uint32_t>(fast), std::bit_cast<uint32_t>(reference)) << text;
  }
}

}  // namespace

// The service's pure logic: the three-way merge on its edge cases, JSON text, validation.
#include "core/jstext.hpp"
#include "core/page.hpp"
#include "core/sync.hpp"
#include "core/validate.hpp"

#include <gtest/gtest.h>

namespace {

using vs::Json;

Json item(const std::string &id, const std::string &name, bool done = false) {
  Json j = Json::object();
  j["id"] = id;
  j["name"] = name;
  j["count"] = "";
  j["time"] = "";
  j["done"] = done;
  j["topics"] = Json::array();
  j["next"] = "";
  j["note"] = "";
  return j;
}

std::string names(const Json &list) {
  std::string out;
  for (const auto &it : list)
    out +=
        (out.empty() ? "" : ",") + it.value("id", std::string("-")) + "=" + it.value("name", std::string());
  return out;
}

TEST(Fingerprint, KnownValues) {
  EXPECT_EQ(vs::fp_hash("abc"), "3772q3");
  EXPECT_EQ(vs::fp_hash(""), "45h");
}

TEST(Fingerprint, KeyOrderCountsAsChange) {
  Json a = Json::parse(R"({"id":"x","name":"A"})");
  Json b = Json::parse(R"({"name":"A","id":"x"})");
  EXPECT_NE(vs::fp_item(a), vs::fp_item(b));
  EXPECT_EQ(vs::fp_day(Json::parse(R"([{"id":""},{"name":"no id"},{"id":"k"}])")).size(), 1u);
}

TEST(Merge3, TableOfCases) {
  Json a = item("a", "A"), a2 = item("a", "A2"), a3 = item("a", "A3"), b = item("b", "B"), c = item("c", "C");
  vs::FpMap base_a = vs::fp_day(Json::array({a}));
  vs::FpMap base_ab = vs::fp_day(Json::array({a, b}));
  struct Case {
    const char *what;
    vs::FpMap base;
    Json mine, theirs;
    std::string want;
  } cases[] = {
      {"untouched here, changed there: theirs", base_a, Json::array({a}), Json::array({a2}), "a=A2"},
      {"changed here, untouched there: mine", base_a, Json::array({a2}), Json::array({a}), "a=A2"},
      {"changed on both: mine", base_a, Json::array({a2}), Json::array({a3}), "a=A2"},
      {"deleted there, untouched here: gone", base_ab, Json::array({a, b}), Json::array({a}), "a=A"},
      {"deleted there, changed here: kept", base_a, Json::array({a2}), Json::array(), "a=A2"},
      {"deleted here, changed there: stays deleted", base_a, Json::array(), Json::array({a2}), ""},
      {"additions on both sides", base_a, Json::array({a, b}), Json::array({a, c}), "a=A,b=B,c=C"},
      {"no base: union, mine wins", {}, Json::array({a2}), Json::array({a3, b}), "a=A2,b=B"},
      {"same change on both", base_a, Json::array({a2}), Json::array({a2}), "a=A2"},
      {"missing lists", base_a, Json(), Json(), ""},
  };
  for (const auto &row : cases)
    EXPECT_EQ(names(vs::merge3(row.base, row.mine, row.theirs)), row.want) << row.what;
  // Items without an id stay on the merging side and are dropped from the other.
  Json noid = Json::parse(R"({"name":"X"})");
  EXPECT_EQ(names(vs::merge3({}, Json::array({noid}), Json::array({noid, b}))), "-=X,b=B");
}

TEST(JsText, AsJsonStringify) {
  struct Case {
    const char *json;
    const char *want;
  } cases[] = {
      {R"({"b":1,"a":[true,null,"x"]})", R"({"b":1,"a":[true,null,"x"]})"},
      {R"("\u0001\u001f\b\f\n\r\t\"\\/\u007f")", "\"\\u0001\\u001f\\b\\f\\n\\r\\t\\\"\\\\/\x7f\""},
      {R"("张三😀\u2028")", "\"张三😀\u2028\""},
      {"[1.0,-0.0,0.1,1e21,1e-7,123456789012345680000,1.5e-6,-2.5]",
       "[1,0,0.1,1e+21,1e-7,123456789012345680000,0.0000015,-2.5]"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(vs::js_stringify(Json::parse(c.json)), c.want) << c.json;
}

TEST(Validate, DayKeys) {
  for (const char *k : {"2024-02-29", "2025-12-31", "0001-01-01"})
    EXPECT_TRUE(vs::is_day_key(k)) << k;
  for (const char *k :
       {"2023-02-29", "2024-13-01", "2024-1-01", "2024-01-32", "abcd-ef-gh", "2024-01-01x", ""})
    EXPECT_FALSE(vs::is_day_key(k)) << k;
}

TEST(Validate, PushBodies) {
  vs::PushBody p;
  EXPECT_EQ(vs::parse_push(R"({"days":{"2024-05-01":[{"id":"a","name":"A","done":false,"topics":["x"]}]},
                               "base":{"2024-05-01":{"a":"1"}},"settingsDirty":true,"settings":{"autoNext":false}})",
                           p),
            "");
  EXPECT_EQ(p.days.size(), 1u);
  EXPECT_TRUE(p.settings_dirty);
  const char *bad[] = {
      "{",                                                  // malformed
      "[]",                                                 // not an object
      R"({"days":[]})",                                     // days as a list
      R"({"days":{"2024-05-01":["a"]}})",                   // items as strings
      R"({"days":{"2024-05-01":[{"id":"a","name":5}]}})",   // number where text belongs
      R"({"days":{"2024-05-01":[{"id":"a","done":"y"}]}})", // text where a boolean belongs
      R"({"days":{"2024-05-01":[{"id":"a"},{"id":"a"}]}})", // one id twice
      R"({"days":{"2024-05-01":[{"name":"no id"}]}})",      // no id
      R"({"days":{"May 1":[]}})",                           // not a date
      R"({"days":{},"base":{"2024-05-01":{"a":1}}})",       // bad base
      R"({"days":{},"settingsDirty":true,"settings":[]})",  // settings not an object
  };
  for (const char *b : bad)
    EXPECT_NE(vs::parse_push(b, p), "") << b;
}

TEST(Validate, Accounts) {
  for (const char *n : {"admin", "13800138000", "li.ming_2@school-x"})
    EXPECT_EQ(vs::check_username(n), "") << n;
  for (const char *n : {"a", "张三", "x' OR '1'='1", "a b", "", "abcdefghijabcdefghijabcdefghijabc"})
    EXPECT_NE(vs::check_username(n), "") << n;
  EXPECT_EQ(vs::username_key("Admin"), "admin");
  EXPECT_NE(vs::check_password("abc"), "");
  EXPECT_EQ(vs::check_password("abcd"), "");
  EXPECT_EQ(vs::check_password("密码密码"), "");
  std::string dn = "  小王老师 ";
  EXPECT_EQ(vs::check_display_name(dn), "");
  EXPECT_EQ(dn, "小王老师");
}

TEST(Page, BuiltInVersion) {
  EXPECT_EQ(vs::page_version("<!DOCTYPE html><script>var BUILT_IN = '2026-10-14.1';</script>"),
            "2026-10-14.1");
  EXPECT_EQ(vs::page_version("<html>var BUILT_IN = '2026-10-14.1';"), "");
  EXPECT_EQ(vs::page_version("<!DOCTYPE html>no version"), "");
  EXPECT_EQ(vs::page_version("<!DOCTYPE html>BUILT_IN='2026-01-01.1' BUILT_IN='2026-01-02.1'"), "");
}

} // namespace

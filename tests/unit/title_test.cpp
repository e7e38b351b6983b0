#include "core/title.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Title, MainWindowIsRecognisedByTheProductName) {
  struct row {
    const wchar_t *title;
    int main;
  };
  const row rows[] = {
      {L"📝 Vellora · 待批改 3", 1},
      {L"📝 Vellora - Microsoft Edge", 1},
      {L"Vellora", 1},
      {L"vellora", 0},  // case-sensitive
      {L"Doremkin", 0}, // the data folder's window in the file manager
      {L"", 0},
      {nullptr, 0},
  };
  for (const row &r : rows)
    EXPECT_EQ(is_main_title(r.title), r.main) << (r.title ? r.title : L"(null)");
}

TEST(Title, OnlyTheFirst299CharactersCount) {
  const std::wstring pad(292, L'x');
  EXPECT_EQ(is_main_title((pad + L"Vellora").c_str()), 1);  // ends at character 299
  EXPECT_EQ(is_main_title((pad + L"xVellora").c_str()), 0); // ends at character 300
  EXPECT_EQ(pending_count_from_title((std::wstring(294, L'x') + L"待批改 4").c_str()), 4);
  EXPECT_EQ(pending_count_from_title((std::wstring(294, L'x') + L"待批改 45").c_str()), 4); // cut after the 4
}

TEST(Title, PendingCount) {
  struct row {
    const wchar_t *title;
    int count;
  };
  const row rows[] = {
      {L"📝 Vellora · 待批改 12", 12},
      {L"📝 Vellora · 全部完成", 0},
      {L"📝 Vellora", 0},
      {L"📝 Vellora · 待批改 abc", 0}, // letters only
      {L"📝 Vellora · 待批改", 0},     // nothing after it
      {L"📝 Vellora · 待批改12", 12},
      {L"📝 Vellora · 待批改 · ·  ·7", 7}, // spaces and middle dots in any order
      {L"📝 Vellora · 待批改 \t 8", 8},    // _wtoi skips white space itself
      {L"📝 Vellora · 待批改 -3", -3},
      {L"📝 Vellora · 待批改 +5", 5},
      {L"📝 Vellora · 待批改 5 - Microsoft Edge", 5},
      {L"📝 Vellora · 待批改 42abc", 42},
      {L"📝 Vellora · 待批改 - 3", 0}, // a sign must be followed by digits
      {L"📝 Vellora · 待批改 99999999999", 2147483647},
      {L"📝 Vellora · 待批改 -2147483648", -2147483647 - 1},
      {L"📝 Vellora · 待批改 1 · 待批改 2", 1}, // the first occurrence counts
  };
  for (const row &r : rows)
    EXPECT_EQ(pending_count_from_title(r.title), r.count) << r.title;
}

} // namespace

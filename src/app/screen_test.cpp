#include "app/screen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/dashboard.h"
#include "platform/fake/fakes.h"

namespace nimbrix {
namespace {

using fake::FakeConsole;

// Every row of a screen: what an operator sees.
std::vector<std::string> Rows(const FakeConsole& console) {
  std::vector<std::string> rows;
  for (int row = 1; row <= 25; ++row) rows.push_back(console.Row(row));
  return rows;
}

// A screen as a running station has it: dashboard, status lines, a report, the server in use.
void ShowARunningStation(Screen& screen) {
  SondeSample s;
  s.serial = "T1234567";
  s.latitude = 48.1;
  s.longitude = 11.5;
  s.altitude = 1500;
  screen.ShowConnection("Conecting:", true);
  screen.ShowConnection("Using # 1 => aprs.local,14580" + std::string(35, ' '));
  screen.ShowDashboard(DashboardRows(s, "N0CALL-11"));
  screen.ShowStatusLines("Local Time: 09:29:42", "Last valid data:  3 s ago...");
  screen.ShowLastTransmission("Last transmission: 09:29:39");
  screen.ShowLoginWarning(true);
}

TEST(Screen, RedrawGivesTheSameScreenOnAGarbledTerminal) {
  FakeConsole fresh;
  Screen reference(fresh);
  ShowARunningStation(reference);

  FakeConsole garbled;
  Screen screen(garbled);
  ShowARunningStation(screen);
  // What a narrow terminal leaves behind: text everywhere, in another colour.
  garbled.SetColor(kColorYellow);
  for (int row = 1; row <= 25; ++row) {
    garbled.MoveTo(row, 1);
    garbled.Write(std::string(80, '#'));
  }
  screen.Redraw();

  EXPECT_EQ(Rows(garbled), Rows(fresh));
  for (int row = 1; row <= 24; ++row) {
    for (int col = 1; col <= 80; ++col) {
      ASSERT_EQ(garbled.ColorAt(row, col), fresh.ColorAt(row, col)) << row << "," << col;
    }
  }
  EXPECT_EQ(garbled.color(), kColorNormal);
}

TEST(Screen, EachRowHoldsOnlyItsLatestText) {
  FakeConsole console;
  Screen screen(console);
  const struct {
    int row;
    void (*first)(Screen&);
    void (*then)(Screen&);
    const char* left;
  } cases[] = {
      {24,
       [](Screen& s) {
         s.ShowConnection("No servers available. Press ESC to quit or wait to try again...     ");
       },
       [](Screen& s) { s.ShowConnection("Trying a,1" + std::string(28, ' '), true); },
       "Trying a,1"},
      {21, [](Screen& s) { s.ShowLastTransmission("Last transmission: 09:29:42-----+"); },
       [](Screen& s) { s.ShowLastTransmission("Last transmission: 09:29:49"); },
       "Last transmission: 09:29:49"},
      {22, [](Screen& s) { s.ShowLoginWarning(true); },
       [](Screen& s) { s.ShowLoginWarning(false); }, ""},
  };
  for (const auto& c : cases) {
    c.first(screen);
    c.then(screen);
    EXPECT_EQ(console.RowTrimmed(c.row), c.left) << "row " << c.row;
    EXPECT_EQ(screen.Row(c.row).rfind(c.left, 0), 0u) << "row " << c.row;
  }
}

TEST(Screen, TextsFromOutsideAreMasked) {
  FakeConsole console;
  Screen screen(console);
  screen.ShowConnection("Trying ev\x1b[2Jil,1", true);
  EXPECT_EQ(console.transcript.find('\x1b'), std::string::npos);
  EXPECT_EQ(console.RowTrimmed(24), "Trying ev?[2Jil,1");
}

}  // namespace
}  // namespace nimbrix

#include "app/screen.h"

#include <utility>

#include "format/safe_text.h"

namespace nimbrix {

namespace {

const char* const kLoginWarning =
    "Server did not verify the login: reports are dropped. Check PASS in NIMBRIX.INI";

// The screen rows the dashboard's texts go to, in order.
constexpr int kDashboardRow[] = {1, 2, 3, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15};

}  // namespace

void Screen::Draw(int row) {
  const Line& line = rows_[row];
  console_.MoveTo(row, 1);
  if (line.color != kColorNormal) console_.SetColor(line.color);
  console_.Write(MaskControlBytes(line.text));
  // Blanks in the normal colour: a coloured text does not colour the rest of its row.
  if (line.color != kColorNormal) console_.SetColor(kColorNormal);
  console_.EraseToEndOfRow();
  if (line.lineBreak) console_.LineBreak();
}

void Screen::Show(int row, Line line) {
  rows_[row] = std::move(line);
  Draw(row);
}

void Screen::ShowDashboard(const std::vector<std::string>& rows) {
  for (std::size_t i = 0; i < rows.size() && i < std::size(kDashboardRow); ++i) {
    Show(kDashboardRow[i], Line{rows[i], kColorNormal, true});
  }
  console_.LineBreak();  // after row 15 the cursor goes to row 17
}

void Screen::ShowStatusLines(const std::string& localTime, const std::string& lastValidData) {
  Show(18, Line{localTime, kColorNormal, true});
  Show(19, Line{lastValidData, kColorNormal, true});
}

void Screen::ShowObjectMode(const std::string& text) {
  Show(20, Line{text});
}

void Screen::ShowLastTransmission(const std::string& text) {
  Show(21, Line{text});
}

void Screen::ShowNoObjectName(const std::string& text) {
  Show(21, Line{text});
}

void Screen::ShowDestinations(int row, const std::string& text) {
  if (row < 16 || row > 17 || rows_[row].text == text) return;
  Show(row, Line{text});
}

void Screen::ShowAlsoHeard(const std::string& text) {
  if (rows_[23].text == text) return;
  Show(23, Line{text});
}

void Screen::ShowLoginWarning(bool shown) {
  Show(kLoginWarningRow, shown ? Line{kLoginWarning, kColorLightRed} : Line{});
}

void Screen::ShowConnection(const std::string& text, bool thenLineBreak) {
  Show(24, Line{text, kColorNormal, thenLineBreak});
}

void Screen::Redraw() {
  console_.SetColor(kColorNormal);
  console_.Clear();
  for (int row = 1; row <= kRows; ++row) {
    if (!rows_[row].text.empty()) Draw(row);
  }
}

}  // namespace nimbrix

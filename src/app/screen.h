#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/console.h"

namespace nimbrix {

// The station's screen, held as one value per row, and the one place that draws it. Every row
// is written at its place and the rest of the row erased, so that nothing of an earlier, longer
// text stays behind; and since the rows are held, the whole screen can be drawn anew at any
// time (after the terminal's size changed). Texts are masked on the way out: nothing from the
// decoder, the network or the configuration reaches the terminal as a control sequence.
class Screen {
 public:
  static constexpr int kRows = 24;

  explicit Screen(Console& console) : console_(console) {}

  // Rows 1..15, as DashboardRows gives them (rows 4 and 6 stay empty); the cursor then goes to
  // row 17.
  void ShowDashboard(const std::vector<std::string>& rows);
  // Rows 18 and 19.
  void ShowStatusLines(const std::string& localTime, const std::string& lastValidData);
  // Row 20, in the object mode only: objects are on, and the name of the last one sent.
  void ShowObjectMode(const std::string& text);
  // Row 21: the time of the last position report.
  void ShowLastTransmission(const std::string& text);
  // Row 21, in the object mode: why nothing goes out for the sonde.
  void ShowNoObjectName(const std::string& text);
  // Rows 16 and 17: the outputs beside the primary link; drawn only when the text changes.
  void ShowDestinations(int row, const std::string& text);
  // Row 23: the other sondes the decoder hears; drawn only when the text changes.
  void ShowAlsoHeard(const std::string& text);
  // Row 22: the warning that the server did not verify the login, in light red; or nothing.
  void ShowLoginWarning(bool shown);
  bool LoginWarningShown() const { return !rows_[kLoginWarningRow].text.empty(); }
  // Row 24: the connection. `thenLineBreak` ends it with a line break, as the lines written
  // before an attempt are.
  void ShowConnection(const std::string& text, bool thenLineBreak = false);

  // Clears the terminal and draws every row from the values held.
  void Redraw();

  // What row `row` (1..24) holds.
  const std::string& Row(int row) const { return rows_.at(row).text; }

 private:
  static constexpr int kLoginWarningRow = 22;

  struct Line {
    std::string text;
    int color = kColorNormal;
    bool lineBreak = false;  // the cursor goes on to the next row afterwards
  };

  void Show(int row, Line line);
  void Draw(int row);

  Console& console_;
  std::array<Line, kRows + 1> rows_{};  // [0] unused
};

}  // namespace nimbrix

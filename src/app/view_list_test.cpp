#include "app/view_list.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace nimbrix {
namespace {

// A view that writes down what it was told, as "event argument".
struct Recording : StationView {
  std::vector<std::string> told;
  void StartupLine(const std::string& t) override { told.push_back("StartupLine " + t); }
  void Link(const LinkEvent& e, const std::string& r) override {
    told.push_back("Link " + e.entry + " " + r);
  }
  void Dashboard(const SondeSample& s, const std::string& u, const LocalTime&,
                 std::int32_t c) override {
    told.push_back("Dashboard " + s.serial + " " + u + " " + std::to_string(c));
  }
  void FrameRead(const SondeSample& s) override { told.push_back("FrameRead " + s.serial); }
  void SondesHeard(const std::vector<HeardSonde>& heard) override {
    told.push_back("SondesHeard " + std::to_string(heard.size()));
  }
  void Destinations(const std::vector<DestinationStatus>& s, const ClockReading&) override {
    told.push_back("Destinations " + s.at(0).name);
  }
  void DestinationRecord(const std::string& r, const std::string& d) override {
    told.push_back("DestinationRecord " + r + " " + d);
  }
  void Ended() override { told.push_back("Ended"); }
};

// Each event the station tells the list reaches every view of it, as it was told, once; a view
// that shows nothing of it is passed over.
TEST(ViewListTest, EveryViewOfTheListIsToldEachEvent) {
  SondeSample sample;
  sample.serial = "S1";
  LinkEvent event;
  event.entry = "a,1";
  DestinationStatus primary;
  primary.name = "b,2";
  const struct {
    std::function<void(StationView&)> tell;
    const char* told;
  } cases[] = {
      {[](StationView& v) { v.StartupLine("Reading NIMBRIX.INI"); },
       "StartupLine Reading NIMBRIX.INI"},
      {[&](StationView& v) { v.Link(event, "OPEN Error\r\n"); }, "Link a,1 OPEN Error\r\n"},
      {[&](StationView& v) { v.Dashboard(sample, "N0CALL", {}, 3); }, "Dashboard S1 N0CALL 3"},
      {[&](StationView& v) { v.FrameRead(sample); }, "FrameRead S1"},
      {[&](StationView& v) {
         v.SondesHeard({HeardSonde{sample, 0}, HeardSonde{sample, 5}});
       },
       "SondesHeard 2"},
      {[&](StationView& v) { v.Destinations({primary}, {}); }, "Destinations b,2"},
      {[](StationView& v) { v.DestinationRecord("SEND Error\r\n", "h,1"); },
       "DestinationRecord SEND Error\r\n h,1"},
      {[](StationView& v) { v.Ended(); }, "Ended"},
  };
  for (const auto& c : cases) {
    Recording first;
    StationView silent;
    Recording last;
    ViewList views(first);
    views.Add(silent);
    views.Add(last);
    c.tell(views);
    const std::vector<std::string> expected = {c.told};
    EXPECT_EQ(first.told, expected);
    EXPECT_EQ(last.told, expected);
  }
}

// The operator's view hears of an event before the page does.
TEST(ViewListTest, TellsTheViewsInTheOrderTheyWereAdded) {
  std::vector<std::string> order;
  struct Named : StationView {
    Named(std::vector<std::string>& o, const char* n) : order(o), name(n) {}
    void ReportSent(const std::string& line) override { order.push_back(name + line); }
    std::vector<std::string>& order;
    std::string name;
  };
  Named operatorView(order, "operator ");
  Named page(order, "page ");
  ViewList views(operatorView);
  views.Add(page);
  views.ReportSent("L1");
  views.ReportSent("L2");
  const std::vector<std::string> expected = {"operator L1", "page L1", "operator L2", "page L2"};
  EXPECT_EQ(order, expected);
}

}  // namespace
}  // namespace nimbrix

#include "app/view_list.h"

namespace nimbrix {

void ViewList::Started() {
  for (StationView* v : views_) v->Started();
}

void ViewList::StartupLine(const std::string& text) {
  for (StationView* v : views_) v->StartupLine(text);
}

void ViewList::UpdateVerdict(const VersionVerdict& verdict, const std::string& downloadPage) {
  for (StationView* v : views_) v->UpdateVerdict(verdict, downloadPage);
}

void ViewList::DecoderNotFound() {
  for (StationView* v : views_) v->DecoderNotFound();
}

void ViewList::DecoderAttached() {
  for (StationView* v : views_) v->DecoderAttached();
}

void ViewList::Connecting() {
  for (StationView* v : views_) v->Connecting();
}

void ViewList::ServerInUse(int index, const std::string& entry) {
  for (StationView* v : views_) v->ServerInUse(index, entry);
}

void ViewList::Link(const LinkEvent& event, const std::string& record) {
  for (StationView* v : views_) v->Link(event, record);
}

void ViewList::Resized() {
  for (StationView* v : views_) v->Resized();
}

void ViewList::Dashboard(const SondeSample& sample, const std::string& user, const LocalTime& now,
                         std::int32_t cyclesSinceReport) {
  for (StationView* v : views_) v->Dashboard(sample, user, now, cyclesSinceReport);
}

void ViewList::DecoderLost() {
  for (StationView* v : views_) v->DecoderLost();
}

void ViewList::DecoderFound() {
  for (StationView* v : views_) v->DecoderFound();
}

void ViewList::FrameRead(const SondeSample& sample) {
  for (StationView* v : views_) v->FrameRead(sample);
}

void ViewList::SondesHeard(const std::vector<HeardSonde>& heard) {
  for (StationView* v : views_) v->SondesHeard(heard);
}

void ViewList::PositionReportDue(const LocalTime& at) {
  for (StationView* v : views_) v->PositionReportDue(at);
}

void ViewList::ReportSent(const std::string& line) {
  for (StationView* v : views_) v->ReportSent(line);
}

void ViewList::ObjectMode(const std::string& lastObjectName) {
  for (StationView* v : views_) v->ObjectMode(lastObjectName);
}

void ViewList::NoObjectName(const std::string& serial) {
  for (StationView* v : views_) v->NoObjectName(serial);
}

void ViewList::Destinations(const std::vector<DestinationStatus>& statuses,
                            const ClockReading& now) {
  for (StationView* v : views_) v->Destinations(statuses, now);
}

void ViewList::DestinationRecord(const std::string& record, const std::string& destination) {
  for (StationView* v : views_) v->DestinationRecord(record, destination);
}

void ViewList::Ended() {
  for (StationView* v : views_) v->Ended();
}

}  // namespace nimbrix

#include "config/config_stream.h"

namespace nimbrix {

namespace {

constexpr char kEndOfFile = 26;

std::string_view UpToEndOfFile(std::string_view bytes) {
  return bytes.substr(0, bytes.find(kEndOfFile));
}

}  // namespace

ConfigStream::ConfigStream(std::string_view bytes) : data_(UpToEndOfFile(bytes)) {}

std::string_view ConfigStream::ReadLine() {
  const std::size_t start = pos_;
  const std::size_t cr = data_.find('\r', pos_);
  if (cr == std::string_view::npos) {
    pos_ = data_.size();
    return data_.substr(start);
  }
  pos_ = cr;
  ConsumeSeparator();
  return data_.substr(start, cr - start);
}

std::string ConfigStream::ReadField() {
  SkipBlanks();
  std::string field;
  if (!AtEnd() && data_[pos_] == '"') {
    ++pos_;
    std::size_t close = data_.find('"', pos_);
    if (close == std::string_view::npos) close = data_.size();
    field.assign(data_.substr(pos_, close - pos_));
    pos_ = close < data_.size() ? close + 1 : close;
    while (!AtEnd() && (data_[pos_] == ' ' || data_[pos_] == '\t' || data_[pos_] == '\n')) ++pos_;
    ConsumeSeparator();
    return field;
  }
  while (!AtEnd()) {
    const char c = data_[pos_];
    if (c == ',' || c == '\r') {
      ConsumeSeparator();
      break;
    }
    ++pos_;
    if (c != '\t' && c != '\n') field += c;
  }
  return field;
}

std::string ConfigStream::ReadNumberField() {
  SkipBlanks();
  std::string text;
  while (!AtEnd()) {
    const char c = data_[pos_];
    if (c == ',' || c == ' ' || c == '\r') break;
    ++pos_;
    if (c == '\t' || c == '\n') continue;
    // The rest of an over-long field is still read, so it cannot spill into the server lines.
    if (text.size() < kMaxNumberField) text += c;
  }
  // "2 ," and "2  CR LF" end the count as "2," and "2 CR LF" do.
  SkipBlanks();
  ConsumeSeparator();
  return text;
}

void ConfigStream::SkipBlanks() {
  while (!AtEnd() && data_[pos_] == ' ') ++pos_;
}

void ConfigStream::ConsumeSeparator() {
  if (AtEnd()) return;
  if (data_[pos_] == ',') {
    ++pos_;
  } else if (data_[pos_] == '\r') {
    ++pos_;
    if (!AtEnd() && data_[pos_] == '\n') ++pos_;
  }
}

std::string FirstLine(std::string_view bytes) {
  ConfigStream stream(bytes);
  return std::string(stream.ReadLine());
}

}  // namespace nimbrix

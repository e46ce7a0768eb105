// Helpers shared by the tests of the internet client, the exchange worker
// and the timed fetch. Header only; not part of qm_web.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "web/web.h"

namespace qm::webtest {

// The record the timed fetch would pack for these values:
// RecordFields(address).method("POST").post_data("a=1").
struct RecordFields {
  explicit RecordFields(std::string address_in) : address_(std::move(address_in)) {}
  RecordFields& method(std::string v) { return set(method_, std::move(v)); }
  RecordFields& proxy(std::string v) { return set(proxy_, std::move(v)); }
  RecordFields& extra_headers(std::string v) { return set(extra_headers_, std::move(v)); }
  RecordFields& post_data(std::string v) { return set(post_data_, std::move(v)); }
  RecordFields& cookies(std::string v) { return set(cookies_, std::move(v)); }
  RecordFields& redirects(bool v) {
    redirects_ = v;
    return *this;
  }

  std::string address_;
  std::string method_ = "GET";
  std::string proxy_;
  std::string extra_headers_;
  std::string post_data_;
  std::string cookies_;
  bool redirects_ = true;

 private:
  RecordFields& set(std::string& field, std::string v) {
    field = std::move(v);
    return *this;
  }
};

inline ExchangeRecord make_record(const RecordFields& fields) {
  ExchangeRecord record;
  record.slots[0] = ByteString(fields.address_);
  record.slots[1] = ByteString(fields.method_);
  record.slots[2] = ByteString(fields.proxy_);
  record.slots[3] = ByteString(fields.extra_headers_);
  record.slots[4] = ByteString(fields.post_data_);
  record.slots[5] = ByteString(fields.cookies_);
  record.slots[6] = ByteString(gbk_from_utf8(fields.redirects_ ? "真" : "假"));
  return record;
}

// Runs the worker on this thread over a stream holding `record`; returns
// the record it hands back.
inline ExchangeRecord run_worker(const ExchangeRecord& record) {
  HandoffStream stream;
  EXPECT_TRUE(stream.write_record(record));
  web_exchange_worker(stream);
  stream.rewind();
  std::optional<ExchangeRecord> back = stream.read_record();
  EXPECT_TRUE(back.has_value());
  return back.value_or(ExchangeRecord{});
}

inline ExchangeRecord run_worker(const RecordFields& fields) { return run_worker(make_record(fields)); }

// Every test starts from an empty store and no route override.
class WebTest : public ::testing::Test {
 protected:
  void SetUp() override {
    inet_clear_all_cookies();
    inet_set_route("");
  }
  void TearDown() override {
    inet_set_route("");
    inet_clear_all_cookies();
  }
};

}  // namespace qm::webtest

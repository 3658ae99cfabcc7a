// Realistic text values drawn from the built-in word lists.
#include "sampledb/text_maker.h"

#include <cstdio>

#include "sampledb/word_lists.h"

namespace sampledb::text {

namespace {

void appendNumber(std::string& out, const char* format, long long value) {
  char buffer[32];
  const int n = std::snprintf(buffer, sizeof buffer, format, value);
  if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
}

void appendDigits(Prng& rng, std::string& out, int count) {
  for (int i = 0; i < count; ++i) out.push_back(static_cast<char>('0' + rng.below(10)));
}

void appendAlnum(Prng& rng, std::string& out, int count) {
  static const char kChars[] = "0123456789ABCDEFGHJKLMNPRSTUVWXY";
  for (int i = 0; i < count; ++i) out.push_back(kChars[rng.below(32)]);
}

void appendMoney(std::string& out, long long cents) {
  char buffer[32];
  const int n = std::snprintf(buffer, sizeof buffer, "%lld.%02lld", cents / 100, cents % 100);
  if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
}

}  // namespace

void personName(Prng& rng, std::string& out) {
  out += rng.pick(words::kFirstNames);
  out += ' ';
  out += rng.pick(words::kLastNames);
}

void companyName(Prng& rng, std::string& out) {
  out += rng.pick(words::kCompanyWords);
  out += ' ';
  out += rng.pick(words::kCompanyKinds);
}

void streetLine(Prng& rng, std::string& out) {
  appendNumber(out, "%lld", rng.between(1, 19999));
  out += ' ';
  out += rng.pick(words::kStreetNames);
  out += ' ';
  out += rng.pick(words::kStreetKinds);
  if (rng.chance(30)) {
    out += ", ";
    out += rng.pick(words::kUnitKinds);
    out += ' ';
    appendNumber(out, "%lld", rng.between(1, 480));
  }
}

void town(Prng& rng, std::string& city, std::string& state, std::string& zip) {
  const words::Town& t = rng.pick(words::kTowns);
  city += t.city;
  state += t.state;
  zip += t.zipPrefix;
  appendDigits(rng, zip, 2);
}

void phone(Prng& rng, std::string& out) {
  appendNumber(out, "(%lld) 555-", rng.between(201, 989));
  appendDigits(rng, out, 4);
}

void carrierAndTracking(Prng& rng, std::string& carrier, std::string& tracking) {
  const std::int64_t which = rng.below(5);
  carrier += words::kCarriers[which];
  switch (which) {
    case 0:  // 18 characters, letters and digits
      tracking += "1S";
      appendAlnum(rng, tracking, 16);
      break;
    case 1:  // 12 digits
      appendDigits(rng, tracking, 12);
      break;
    case 2:
      tracking += "BJ";
      appendDigits(rng, tracking, 10);
      break;
    case 3:  // 22 digits
      tracking += "94";
      appendDigits(rng, tracking, 20);
      break;
    default:
      tracking += "CC";
      appendAlnum(rng, tracking, 8);
      tracking += '-';
      appendDigits(rng, tracking, 4);
      break;
  }
}

void deliveryNote(Prng& rng, std::string& out) { out += rng.pick(words::kDeliveryNotes); }

void saleDescription(Prng& rng, std::string& out) {
  if (rng.chance(35)) {
    out += "Counter sale: ";
    const std::int64_t items = rng.between(2, 4);
    for (std::int64_t i = 0; i < items; ++i) {
      if (i > 0) out += ", ";
      appendNumber(out, "%lld x ", rng.between(1, 12));
      out += rng.pick(words::kSales);
      out += " at ";
      appendMoney(out, rng.between(25, 4500));
    }
    appendNumber(out, "; register %lld, clerk ", rng.between(1, 3));
    out += rng.pick(words::kFirstNames);
    out += "; receipt printed, customer copy handed over at the counter; note: ";
    out += rng.pick(words::kCounterNotes);
    out += "; ";
    out += rng.pick(words::kCounterNotes);
    return;
  }
  appendNumber(out, "Ship %lld pkg via ", rng.between(1, 4));
  out += rng.pick(words::kCarriers);
  out += ' ';
  out += rng.pick(words::kServices);
  out += " to ";
  personName(rng, out);
  out += ", ";
  streetLine(rng, out);
  const words::Town& t = rng.pick(words::kTowns);
  out += ", ";
  out += t.city;
  out += ", ";
  out += t.state;
  out += ' ';
  out += t.zipPrefix;
  appendDigits(rng, out, 2);
  appendNumber(out, "; box %lldx", rng.between(6, 36));
  appendNumber(out, "%lldx", rng.between(4, 24));
  appendNumber(out, "%lld in, ", rng.between(2, 18));
  appendNumber(out, "%lld.", rng.between(0, 69));
  appendNumber(out, "%lld lb; packing: ", rng.below(10));
  out += rng.pick(words::kPackings);
  out += ", ";
  out += rng.pick(words::kPackings);
  out += "; contents: ";
  out += rng.pick(words::kContents);
  out += " and ";
  out += rng.pick(words::kContents);
  out += "; declared value ";
  appendMoney(out, rng.between(20, 1500) * 100);
  if (rng.chance(40)) {
    out += ", insured ";
    appendMoney(out, rng.between(50, 2000) * 100);
  }
  out += "; delivery: ";
  deliveryNote(rng, out);
  out += "; ref ";
  appendAlnum(rng, out, 4);
  out += '-';
  appendDigits(rng, out, 6);
}

void invoiceNumber(std::int64_t index, std::string& out) { appendNumber(out, "INV%07lld", index + 1); }

void accountNumber(std::int64_t index, std::string& out) { appendNumber(out, "AR-%06lld", index + 1); }

}  // namespace sampledb::text

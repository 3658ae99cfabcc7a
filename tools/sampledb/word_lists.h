// Small built-in word lists the sample text is drawn from.
#pragma once

namespace sampledb::words {

extern const char* const kFirstNames[48];
extern const char* const kLastNames[48];
extern const char* const kStreetNames[40];
extern const char* const kStreetKinds[10];
extern const char* const kUnitKinds[4];
extern const char* const kCompanyWords[24];
extern const char* const kCompanyKinds[10];
extern const char* const kCarriers[5];
extern const char* const kServices[8];
extern const char* const kPackings[12];
extern const char* const kSales[16];
extern const char* const kContents[16];
extern const char* const kDeliveryNotes[16];
extern const char* const kCounterNotes[12];

// A town with its state and the first three digits of its zip code.
struct Town {
  const char* city;
  const char* state;
  const char* zipPrefix;
};
extern const Town kTowns[32];

}  // namespace sampledb::words

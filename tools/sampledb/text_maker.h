// Realistic text values (names, addresses, phone and tracking numbers, line
// descriptions) drawn from the built-in word lists; each appends to `out`.
#pragma once

#include <cstdint>
#include <string>

#include "sampledb/prng.h"

namespace sampledb::text {

void personName(Prng& rng, std::string& out);
void companyName(Prng& rng, std::string& out);
// "4410 Cedar Lane" and now and then ", Apt 12".
void streetLine(Prng& rng, std::string& out);
// Picks a town; writes its city, state and a zip code in that town's range.
void town(Prng& rng, std::string& city, std::string& state, std::string& zip);
void phone(Prng& rng, std::string& out);
// A delivery instruction for a shipment or a contact's address.
void deliveryNote(Prng& rng, std::string& out);
// Carrier name and a tracking number in that carrier's format.
void carrierAndTracking(Prng& rng, std::string& carrier, std::string& tracking);
// A counter-sale line: what was shipped or sold, for whom, how it was packed.
void saleDescription(Prng& rng, std::string& out);
// "INV0012345": the shop's invoice number for invoice `index` (0-based).
void invoiceNumber(std::int64_t index, std::string& out);
// "AR-000005": the account number of contact `index` (0-based).
void accountNumber(std::int64_t index, std::string& out);

}  // namespace sampledb::text

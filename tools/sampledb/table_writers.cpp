// Streams the rows of each sample table into an open database.
#include "sampledb/table_writers.h"

#include "sampledb/text_maker.h"
#include "sampledb/word_lists.h"

namespace sampledb {

namespace {

enum StreamTag : std::uint64_t {
  kContactsStream = 1,
  kInvoicesStream,
  kPaymentsStream,
  kTransactionsStream,
  kManifestStream,
};

// Amount in cents as a currency value with two decimals.
double money(std::int64_t cents) { return static_cast<double>(cents) / 100.0; }

// Account holders are contacts 1, 5, 9, ...; a random one's number.
void holderNumber(Prng& rng, const Plan& plan, std::string& out) {
  const std::int64_t holders = (plan.counts.contacts + 2) / 4;
  text::accountNumber(4 * rng.below(holders) + 1, out);
}

// Binds AcctNum of a money row; `out` keeps the text alive.
Account bindAccount(Stmt& insert, int column, Prng& rng, const Plan& plan, std::int64_t index, std::int64_t nullOffset,
                    std::int64_t holderOffset, std::string& out) {
  out.clear();
  const Account account = accountFor(index, nullOffset, holderOffset);
  if (account == Account::None) {
    insert.null(column);
    return account;
  }
  if (account == Account::Cash)
    out = "Cash";
  else
    holderNumber(rng, plan, out);
  insert.text(column, out);
  return account;
}

// The invoice a payment or transaction row belongs to.
std::int64_t invoiceOf(std::int64_t index, std::int64_t count, const Plan& plan) {
  return index * plan.counts.invoiceNumbers / (count > 0 ? count : 1);
}

}  // namespace

Account accountFor(std::int64_t index, std::int64_t nullOffset, std::int64_t holderOffset) {
  if (index % 20 == nullOffset) return Account::None;
  if (index % 5 == holderOffset) return Account::Holder;
  return Account::Cash;
}

bool isAccountHolder(std::int64_t contactIndex) { return contactIndex % 4 == 1; }

bool hasNoContactDate(std::int64_t contactIndex) { return contactIndex % 12 == 0 || contactIndex % 12 == 9; }

QString writeContacts(Db& db, const Plan& plan) {
  Stmt insert;
  QString error = insert.prepare(db,
                                 "INSERT INTO Contacts(ID, Name, Company, Address, City, State, Zip, Phone, AR, "
                                 "LastContactDate) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
  if (!error.isEmpty()) return error;
  Prng rng = streamFor(plan.seed, kContactsStream);
  std::string name, company, address, city, state, zip, phone, ar, lastContact;
  for (std::int64_t i = 0; i < plan.counts.contacts; ++i) {
    for (std::string* s : {&name, &company, &address, &city, &state, &zip, &phone, &ar, &lastContact}) s->clear();
    text::personName(rng, name);
    const bool ownShop = i + 1 == plan.defaultShipFrom;
    if (ownShop)
      company = plan.shopName;
    else if (rng.chance(40))
      text::companyName(rng, company);
    text::streetLine(rng, address);
    if (rng.chance(60)) {
      address += " (";
      text::deliveryNote(rng, address);
      address += ')';
    }
    text::town(rng, city, state, zip);
    text::phone(rng, phone);
    insert.integer(1, i + 1);
    insert.text(2, name);
    if (company.empty())
      insert.null(3);
    else
      insert.text(3, company);
    insert.text(4, address);
    insert.text(5, city);
    insert.text(6, state);
    insert.text(7, zip);
    insert.text(8, phone);
    if (isAccountHolder(i)) {
      text::accountNumber(i, ar);
      insert.text(9, ar);
    } else {
      insert.null(9);
    }
    if (hasNoContactDate(i)) {
      insert.null(10);
    } else {
      appendDay(plan.span.first + rng.below(plan.span.days), lastContact);
      insert.text(10, lastContact);
    }
    error = insert.insert();
    if (!error.isEmpty()) return error;
  }
  return {};
}

QString writeSetup(Db& db, const Plan& plan) {
  Stmt insert;
  QString error = insert.prepare(db, "INSERT INTO Setup(ID, ShopName, DefaultShipFrom) VALUES(?1, ?2, ?3)");
  if (!error.isEmpty()) return error;
  for (std::int64_t i = 0; i < plan.counts.setup; ++i) {
    insert.integer(1, i + 1);
    insert.text(2, plan.shopName);
    insert.integer(3, plan.defaultShipFrom);
    error = insert.insert();
    if (!error.isEmpty()) return error;
  }
  return {};
}

QString writeInvoiceNumbers(Db& db, const Plan& plan) {
  Stmt insert;
  QString error = insert.prepare(db,
                                 "INSERT INTO InvoiceNumbers(ID, InvoiceNum, AcctNum, Amount, [Date]) "
                                 "VALUES(?1, ?2, ?3, ?4, ?5)");
  if (!error.isEmpty()) return error;
  Prng rng = streamFor(plan.seed, kInvoicesStream);
  const std::int64_t count = plan.counts.invoiceNumbers;
  std::string invoice, account, stamp;
  for (std::int64_t i = 0; i < count; ++i) {
    invoice.clear();
    stamp.clear();
    text::invoiceNumber(i, invoice);
    insert.integer(1, i + 1);
    insert.text(2, invoice);
    bindAccount(insert, 3, rng, plan, i, 13, 4, account);
    insert.real(4, money(rng.between(150, 60000)));
    appendRowStamp(rng, i, count, plan.span, stamp);
    insert.text(5, stamp);
    error = insert.insert();
    if (!error.isEmpty()) return error;
  }
  return {};
}

QString writePayments(Db& db, const Plan& plan) {
  Stmt insert;
  QString error = insert.prepare(db,
                                 "INSERT INTO Payments(ID, InvoiceNum, AcctNum, PayType, Amount, [Date]) "
                                 "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
  if (!error.isEmpty()) return error;
  Prng rng = streamFor(plan.seed, kPaymentsStream);
  const std::int64_t count = plan.counts.payments;
  std::string invoice, account, stamp;
  const std::string onAccount = "On Account";
  for (std::int64_t i = 0; i < count; ++i) {
    invoice.clear();
    stamp.clear();
    text::invoiceNumber(invoiceOf(i, count, plan), invoice);
    insert.integer(1, i + 1);
    insert.text(2, invoice);
    const Account kind = bindAccount(insert, 3, rng, plan, i, 7, 3, account);
    static const std::string kPayTypes[] = {"Cash", "Check", "Credit Card", "Debit Card", "Money Order"};
    insert.text(4, kind == Account::Holder ? onAccount : rng.pick(kPayTypes));
    insert.real(5, money(rng.between(150, 60000)));
    appendRowStamp(rng, i, count, plan.span, stamp);
    insert.text(6, stamp);
    error = insert.insert();
    if (!error.isEmpty()) return error;
  }
  return {};
}

QString writeTransactions(Db& db, const Plan& plan) {
  Stmt insert;
  QString error = insert.prepare(db,
                                 "INSERT INTO Transactions(ID, InvoiceNum, AcctNum, Description, Amount, [Date]) "
                                 "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
  if (!error.isEmpty()) return error;
  Prng rng = streamFor(plan.seed, kTransactionsStream);
  const std::int64_t count = plan.counts.transactions;
  std::string invoice, account, description, stamp;
  for (std::int64_t i = 0; i < count; ++i) {
    invoice.clear();
    description.clear();
    stamp.clear();
    text::invoiceNumber(invoiceOf(i, count, plan), invoice);
    insert.integer(1, i + 1);
    insert.text(2, invoice);
    bindAccount(insert, 3, rng, plan, i, 11, 1, account);
    text::saleDescription(rng, description);
    insert.text(4, description);
    // Now and then a refund.
    const std::int64_t cents = rng.between(99, 45000);
    insert.real(5, money(rng.chance(3) ? -cents : cents));
    appendRowStamp(rng, i, count, plan.span, stamp);
    insert.text(6, stamp);
    error = insert.insert();
    if (!error.isEmpty()) return error;
  }
  return {};
}

QString writeManifest(Db& db, const Plan& plan) {
  Stmt insert;
  QString error = insert.prepare(db,
                                 "INSERT INTO Manifest(ID, TrackingNum, Carrier, ShipToName, ShipToAddress, Weight, "
                                 "Charge, Exported, [Date]) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
  if (!error.isEmpty()) return error;
  Prng rng = streamFor(plan.seed, kManifestStream);
  const std::int64_t count = plan.counts.manifest;
  std::string tracking, carrier, name, address, city, state, zip, stamp;
  for (std::int64_t i = 0; i < count; ++i) {
    for (std::string* s : {&tracking, &carrier, &name, &address, &city, &state, &zip, &stamp}) s->clear();
    text::carrierAndTracking(rng, carrier, tracking);
    text::personName(rng, name);
    text::streetLine(rng, address);
    text::town(rng, city, state, zip);
    address += ", ";
    address += city;
    address += ", ";
    address += state;
    address += ' ';
    address += zip;
    address += ", USA; ";
    text::deliveryNote(rng, address);
    address += "; recipient phone ";
    text::phone(rng, address);
    insert.integer(1, i + 1);
    insert.text(2, tracking);
    insert.text(3, carrier);
    insert.text(4, name);
    insert.text(5, address);
    insert.real(6, static_cast<double>(rng.between(1, 700)) / 10.0);
    insert.real(7, money(rng.between(450, 18000)));
    insert.integer(8, rng.chance(92) ? 1 : 0);
    appendRowStamp(rng, i, count, plan.span, stamp);
    insert.text(9, stamp);
    error = insert.insert();
    if (!error.isEmpty()) return error;
  }
  return {};
}

}  // namespace sampledb

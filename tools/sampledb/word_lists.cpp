// Small built-in word lists the sample text is drawn from.
#include "sampledb/word_lists.h"

namespace sampledb::words {

const char* const kFirstNames[48] = {
    "Avery",  "Blake",  "Carmen",  "Dana",   "Elliot", "Frances", "Gideon", "Harper",   "Imogen", "Jasper",
    "Keira",  "Leland", "Marisol", "Nolan",  "Odette", "Percy",   "Quinn",  "Rosalind", "Silas",  "Tamsin",
    "Ulric",  "Vivian", "Wesley",  "Xenia",  "Yorick", "Zelda",   "Arlo",   "Bianca",   "Cyrus",  "Delia",
    "Emmett", "Fiona",  "Gareth",  "Hazel",  "Ivor",   "Juniper", "Kellan", "Lorna",    "Milo",   "Nadia",
    "Orson",  "Priya",  "Rufus",   "Sabine", "Tobias", "Uma",     "Vance",  "Willa"};

const char* const kLastNames[48] = {
    "Abernathy", "Brightwater", "Castellano", "Dunmore",    "Eastwick",     "Fairbanks",  "Galloway",  "Hollister",
    "Ingersoll", "Jessup",      "Kettering",  "Lockhart",   "Merriweather", "Northcott",  "Oakhurst",  "Pemberton",
    "Quimby",    "Radcliffe",   "Sutherland", "Thornbury",  "Underhill",    "Vandermeer", "Whitfield", "Yardley",
    "Ashcombe",  "Blackwood",   "Cresswell",  "Davenport",  "Ellsworth",    "Fenwick",    "Greenleaf", "Hargreave",
    "Ivesdale",  "Kingsley",    "Langford",   "Marchbank",  "Newbold",      "Ormsby",     "Prescott",  "Rainford",
    "Stanhope",  "Tillman",     "Upton",      "Wainwright", "Winslow",      "Yeoman",     "Bramwell",  "Calloway"};

const char* const kStreetNames[40] = {
    "Maple",     "Cedar",        "Willow",     "Juniper",   "Birch",     "Hawthorn",   "Aspen",       "Chestnut",
    "Sycamore",  "Magnolia",     "Linden",     "Poplar",    "Alder",     "Hickory",    "Meadowbrook", "Riverside",
    "Hillcrest", "Lakeview",     "Foxglove",   "Briarwood", "Stonegate", "Kingfisher", "Harbor",      "Orchard",
    "Prairie",   "Summit",       "Valley",     "Granite",   "Mill Pond", "Old Quarry", "Timberline",  "Sandpiper",
    "Bluebell",  "Copper Ridge", "Fieldstone", "Larkspur",  "Wren",      "Heron",      "Cobblestone", "Ironwood"};

const char* const kStreetKinds[10] = {"Street", "Avenue", "Road",      "Lane",    "Drive",
                                      "Court",  "Place",  "Boulevard", "Terrace", "Way"};

const char* const kUnitKinds[4] = {"Apt", "Suite", "Unit", "Bldg"};

const char* const kCompanyWords[24] = {
    "Summit",    "Riverbend",   "Copperleaf", "Bluestone",  "Northfield", "Pinecrest", "Silverline", "Evergreen",
    "Keystone",  "Harborview",  "Redwood",    "Clearwater", "Ironbridge", "Goldcrest", "Oakridge",   "Westbrook",
    "Lakeshore", "Brightfield", "Stonehaven", "Meadowlark", "Fairhaven",  "Highpoint", "Cedarbrook", "Windmere"};

const char* const kCompanyKinds[10] = {"Supply Co.",  "Woodworks", "Ceramics", "Books",        "Outfitters",
                                       "Electronics", "Florist",   "Bakery",   "Print Studio", "Hardware"};

const char* const kCarriers[5] = {"Swiftline Parcel", "Northway Freight", "Bluejay Express", "Postal Service",
                                  "Crestline Courier"};

const char* const kServices[8] = {"Ground",        "Next Day Air", "2nd Day Air",   "3 Day Select",
                                  "Priority Mail", "First Class",  "Express Saver", "Freight"};

const char* const kPackings[12] = {"bubble wrap",  "packing peanuts", "double box",     "custom crate",
                                   "foam inserts", "kraft paper",     "fragile labels", "poster tube",
                                   "shrink wrap",  "corner guards",   "air pillows",    "tissue wrap"};

const char* const kSales[16] = {"packing tape",   "mailing envelopes", "shipping boxes",  "greeting cards",
                                "postage stamps", "notary service",    "fax pages",       "copies b/w",
                                "copies color",   "key duplication",   "passport photos", "mailbox rental",
                                "laminating",     "binding",           "money order fee", "gift wrap"};

const char* const kContents[16] = {"books",       "ceramic mugs", "framed prints",  "clothing",
                                   "toys",        "documents",    "auto parts",     "vinyl records",
                                   "kitchenware", "tools",        "craft supplies", "laptop computer",
                                   "glassware",   "board games",  "shoes",          "dried food gifts"};

const char* const kDeliveryNotes[16] = {"leave at the side door if no answer, do not leave in the rain",
                                        "deliver to the front desk, receiving hours 9am to 5pm weekdays only",
                                        "ring the bell twice and wait, the customer works from the back office",
                                        "call ahead on arrival, gate code is given by phone only",
                                        "business address, closed on Saturdays and public holidays",
                                        "signature required, no delivery to the neighbours or the porch",
                                        "use the loading dock at the rear of the building, bay 3",
                                        "fragile contents, keep upright and do not stack heavy parcels on top",
                                        "residential delivery, dog in the yard, please leave outside the fence",
                                        "hold at the carrier's depot if the recipient is not at home",
                                        "deliver after 3pm, the shop opens late on weekdays",
                                        "second floor office, use the elevator beside the pharmacy",
                                        "apartment complex, leave with the building manager in unit 1",
                                        "rural route, the mailbox is across the road from the barn",
                                        "perishable gift, deliver the same day or return to the sender",
                                        "customer will pick up from the counter if delivery fails twice"};

const char* const kCounterNotes[12] = {"customer asked for an itemised receipt to be emailed for the expense report",
                                       "regular customer, paid at the counter, no bag needed",
                                       "price matched the posted rate card, manager approved the discount",
                                       "second visit this week, customer brought the wrong size box the first time",
                                       "customer asked about next week's holiday opening hours and pickup times",
                                       "bulk order for a school project, tax exempt form kept on file",
                                       "items checked against the order slip the customer brought in",
                                       "customer will return with more parcels later in the afternoon",
                                       "change given from the second drawer, the first was being counted",
                                       "gift receipt printed at the customer's request",
                                       "customer paid with exact change, no receipt wanted",
                                       "order placed by phone earlier and collected at the counter today"};

const Town kTowns[32] = {
    {"Fairview", "OR", "970"},    {"Springdale", "AR", "727"}, {"Riverton", "WY", "825"},  {"Greenville", "SC", "296"},
    {"Milford", "CT", "064"},     {"Franklin", "TN", "370"},   {"Clinton", "IA", "527"},   {"Ashland", "KY", "411"},
    {"Georgetown", "TX", "786"},  {"Salem", "MA", "019"},      {"Madison", "WI", "537"},   {"Bristol", "VA", "242"},
    {"Oxford", "MS", "386"},      {"Dover", "DE", "199"},      {"Marion", "OH", "433"},    {"Burlington", "VT", "054"},
    {"Lakewood", "CO", "802"},    {"Hudson", "NY", "125"},     {"Auburn", "AL", "368"},    {"Newport", "RI", "028"},
    {"Kingston", "NH", "038"},    {"Bedford", "IN", "474"},    {"Camden", "ME", "048"},    {"Florence", "AZ", "851"},
    {"Lebanon", "PA", "170"},     {"Monroe", "LA", "712"},     {"Princeton", "NJ", "085"}, {"Richmond", "KY", "404"},
    {"Shelbyville", "IL", "625"}, {"Winchester", "NV", "891"}, {"Troy", "MI", "480"},      {"Vernon", "UT", "840"}};

}  // namespace sampledb::words

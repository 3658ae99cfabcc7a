// The machine registry, read from a REGEDIT4-format text file.
#include "platform/core/registry.h"

#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

namespace {

struct RegValue {
  uint32_t type = REG_NONE;
  QByteArray data;
};

// Keys by their case-folded full path ("HKEY_LOCAL_MACHINE\SOFTWARE\..."),
// each with its values by case-folded name ("" for the default value).
using Values = QHash<QString, RegValue>;
using Hive = QHash<QString, Values>;

struct RootName {
  HKEY handle;
  const char* name;
  const char* shortName;
};

constexpr RootName kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},     {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},   {HKEY_USERS, "HKEY_USERS", "HKU"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG", "HKCC"},
};

QString fold(const QString& s) { return s.toCaseFolded(); }

bool isHexDigits(const QString& s) {
  // The range test comes first: isxdigit is only defined for unsigned-char
  // values, and a Latin-1 letter would reach it as a negative char.
  for (const QChar c : s)
    if (c.unicode() > 127 || !isxdigit(static_cast<unsigned char>(c.unicode()))) return false;
  return !s.isEmpty();
}

std::optional<QString> rootPath(HKEY root) {
  for (const RootName& r : kRoots)
    if (r.handle == root) return QString::fromLatin1(r.name);
  return std::nullopt;
}

// A key path as written in the file or handed to RegOpenKeyExA, in one
// canonical spelling: the root's long name, no trailing backslash.
std::optional<QString> canonicalKey(const QString& path) {
  QString p = path.trimmed();
  while (p.endsWith(QLatin1Char('\\'))) p.chop(1);
  const qsizetype cut = p.indexOf(QLatin1Char('\\'));
  const QString head = cut < 0 ? p : p.left(cut);
  for (const RootName& r : kRoots) {
    if (head.compare(QLatin1String(r.name), Qt::CaseInsensitive) == 0 ||
        head.compare(QLatin1String(r.shortName), Qt::CaseInsensitive) == 0) {
      return QString::fromLatin1(r.name) + (cut < 0 ? QString() : p.mid(cut));
    }
  }
  return std::nullopt;
}

// Reads a quoted text starting at `pos` (on the opening quote), undoing the
// \\ and \" escapes; any other backslash is kept as written. Leaves `pos`
// after the closing quote. Nothing when the closing quote is missing.
std::optional<QString> readQuoted(const QString& line, qsizetype& pos) {
  if (pos >= line.size() || line.at(pos) != QLatin1Char('"')) return std::nullopt;
  QString out;
  for (qsizetype i = pos + 1; i < line.size(); ++i) {
    const QChar c = line.at(i);
    if (c == QLatin1Char('\\') && i + 1 < line.size() &&
        (line.at(i + 1) == QLatin1Char('\\') || line.at(i + 1) == QLatin1Char('"'))) {
      out += line.at(++i);
    } else if (c == QLatin1Char('"')) {
      pos = i + 1;
      return out;
    } else {
      out += c;
    }
  }
  return std::nullopt;
}

// "aa,bb,cc" (spaces allowed, a trailing comma tolerated); nothing when any
// byte is not two hex digits.
std::optional<QByteArray> readHexBytes(const QString& text) {
  QByteArray out;
  const QStringList parts = text.split(QLatin1Char(','));
  for (qsizetype i = 0; i < parts.size(); ++i) {
    const QString b = parts.at(i).trimmed();
    if (b.isEmpty() && i == parts.size() - 1) break;
    if (b.size() > 2 || !isHexDigits(b)) return std::nullopt;
    out.append(static_cast<char>(b.toUInt(nullptr, 16)));
  }
  return out;
}

// The data part of a value line (after "="); nothing when it is malformed.
// A lone "-" (value deletion) comes back as type REG_NONE with `remove` set.
std::optional<RegValue> readData(const QString& text, bool& remove) {
  remove = false;
  const QString t = text.trimmed();
  if (t == QLatin1String("-")) {
    remove = true;
    return RegValue{};
  }
  if (t.startsWith(QLatin1Char('"'))) {
    qsizetype pos = 0;
    const auto s = readQuoted(t, pos);
    if (!s || !t.mid(pos).trimmed().isEmpty()) return std::nullopt;
    QByteArray bytes = s->toUtf8();
    bytes.append('\0');
    return RegValue{REG_SZ, bytes};
  }
  if (t.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
    const QString digits = t.mid(6).trimmed();
    if (digits.size() > 8 || !isHexDigits(digits)) return std::nullopt;
    const uint32_t v = digits.toUInt(nullptr, 16);
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return RegValue{REG_DWORD, bytes};
  }
  if (t.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
    uint32_t type = REG_BINARY;
    qsizetype pos = 3;
    if (pos < t.size() && t.at(pos) == QLatin1Char('(')) {
      const qsizetype close = t.indexOf(QLatin1Char(')'), pos);
      if (close < 0) return std::nullopt;
      const QString digits = t.mid(pos + 1, close - pos - 1).trimmed();
      if (digits.size() > 8 || !isHexDigits(digits)) return std::nullopt;
      type = digits.toUInt(nullptr, 16);
      pos = close + 1;
    }
    if (pos >= t.size() || t.at(pos) != QLatin1Char(':')) return std::nullopt;
    const auto bytes = readHexBytes(t.mid(pos + 1));
    if (!bytes) return std::nullopt;
    return RegValue{type, *bytes};
  }
  return std::nullopt;
}

// Parses the file's text. Malformed lines are skipped; the rest still counts.
// The file's lines, without line-end returns, with hex values continued by
// a trailing backslash joined into one line.
QStringList joinedLines(const QString& text) {
  const QStringList lines = text.split(QLatin1Char('\n'));
  static const QRegularExpression kHexValue(QStringLiteral(R"(^\s*(@|"(?:[^"\\]|\\.)*")\s*=\s*hex)"),
                                            QRegularExpression::CaseInsensitiveOption);
  auto unreturned = [](QString line) {
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    return line;
  };
  QStringList joined;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    QString line = unreturned(lines.at(i));
    while (kHexValue.match(line).hasMatch() && line.trimmed().endsWith(QLatin1Char('\\')) && i + 1 < lines.size()) {
      line = line.trimmed();
      line.chop(1);
      line += unreturned(lines.at(++i)).trimmed();
    }
    joined << line;
  }
  return joined;
}

// A "[key]" or "[-key]" line: the key's folded path into `current`, or the
// key and every key below it removed from `hive`. False for a malformed
// line or a key of no known root: its values are skipped.
bool readSection(const QString& line, Hive& hive, QString& current) {
  if (!line.endsWith(QLatin1Char(']'))) return false;
  QString name = line.mid(1, line.size() - 2);
  const bool removeKey = name.startsWith(QLatin1Char('-'));
  if (removeKey) name.remove(0, 1);
  const auto key = canonicalKey(name);
  if (!key) return false;
  const QString folded = fold(*key);
  if (removeKey) {
    const QString prefix = folded + QLatin1Char('\\');
    for (auto it = hive.begin(); it != hive.end();)
      it = (it.key() == folded || it.key().startsWith(prefix)) ? hive.erase(it) : std::next(it);
    return false;
  }
  current = folded;
  hive[current];
  return true;
}

// A '"name"=data' or '@=data' line into the section `values`; a line of
// another shape is skipped.
void readValue(const QString& line, Values& values) {
  QString name;
  qsizetype pos = 0;
  if (line.startsWith(QLatin1Char('@'))) {
    pos = 1;
  } else {
    const auto quoted = readQuoted(line, pos);
    if (!quoted) return;
    name = *quoted;
  }
  while (pos < line.size() && line.at(pos).isSpace()) ++pos;
  if (pos >= line.size() || line.at(pos) != QLatin1Char('=')) return;
  bool remove = false;
  const auto value = readData(line.mid(pos + 1), remove);
  if (!value) return;
  if (remove)
    values.remove(fold(name));
  else
    values.insert(fold(name), *value);
}

Hive parse(const QString& text) {
  Hive hive;
  QString current;  // folded path of the section being read
  bool inSection = false;
  for (const QString& raw : joinedLines(text)) {
    const QString line = raw.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) continue;
    if (line.startsWith(QLatin1Char('[')))
      inSection = readSection(line, hive, current);
    else if (inSection)  // not the header line, nor values of a skipped key
      readValue(line, hive[current]);
  }
  return hive;
}

Hive loadHive() {
  QFile file(registry::filePath());
  if (!file.open(QIODevice::ReadOnly)) return {};
  QString text = QString::fromUtf8(file.readAll());
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  return parse(text);
}

// True when the key is in the hive, written out or implied by a sub-key.
bool keyExists(const Hive& hive, const QString& folded) {
  if (hive.contains(folded)) return true;
  if (!folded.contains(QLatin1Char('\\'))) return true;  // a root always exists
  const QString prefix = folded + QLatin1Char('\\');
  for (auto it = hive.cbegin(); it != hive.cend(); ++it)
    if (it.key().startsWith(prefix)) return true;
  return false;
}

// Open keys: the full path of each, with the values read when it was opened.
struct OpenKey {
  QString path;
  Values values;
};

std::mutex g_mutex;
std::map<HKEY, OpenKey> g_open;
HKEY g_next = 0x100;

HKEY nextHandle() {
  do {
    ++g_next;
    if (g_next >= HKEY_CLASSES_ROOT || g_next == 0) g_next = 0x101;
  } while (g_open.count(g_next) != 0);
  return g_next;
}

// The path behind a handle, or nothing for an unknown one.
std::optional<QString> handlePath(HKEY h) {
  if (const auto root = rootPath(h)) return root;
  const auto it = g_open.find(h);
  if (it == g_open.end()) return std::nullopt;
  return it->second.path;
}

}  // namespace

namespace registry {

QString filePath() {
  const QString fromEnv = qEnvironmentVariable("KESTROVA_REGISTRY");
  if (!fromEnv.isEmpty()) return fromEnv;
  return QStringLiteral("/etc/kestrova/registry.reg");
}

}  // namespace registry

int32_t RegOpenKeyExA(HKEY root, const char* subKey, uint32_t /*options*/, uint32_t /*samDesired*/, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = 0;
  std::lock_guard lock(g_mutex);
  const auto base = handlePath(root);
  if (!base) return ERROR_INVALID_HANDLE;

  QString sub = subKey ? QString::fromUtf8(subKey) : QString();
  while (sub.endsWith(QLatin1Char('\\'))) sub.chop(1);
  // A leading backslash or an empty part between two names names no key.
  if (!sub.isEmpty() && sub.split(QLatin1Char('\\')).contains(QString())) return ERROR_FILE_NOT_FOUND;
  const QString path = sub.isEmpty() ? *base : *base + QLatin1Char('\\') + sub;

  const Hive hive = loadHive();
  const QString folded = fold(path);
  if (!keyExists(hive, folded)) return ERROR_FILE_NOT_FOUND;
  const HKEY h = nextHandle();
  g_open[h] = OpenKey{path, hive.value(folded)};
  *result = h;
  return ERROR_SUCCESS;
}

int32_t RegQueryValueExA(HKEY hKey, const char* valueName, uint32_t* reserved, uint32_t* type, uint8_t* data,
                         uint32_t* size) {
  if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(g_mutex);
  Values rootValues;
  const Values* values = nullptr;
  if (const auto root = rootPath(hKey)) {
    rootValues = loadHive().value(fold(*root));
    values = &rootValues;
  } else {
    const auto it = g_open.find(hKey);
    if (it == g_open.end()) return ERROR_INVALID_HANDLE;
    values = &it->second.values;
  }

  const QString name = valueName ? QString::fromUtf8(valueName) : QString();
  const auto found = values->constFind(fold(name));
  if (found == values->cend()) return ERROR_FILE_NOT_FOUND;
  const RegValue& v = found.value();
  const auto needed = static_cast<uint32_t>(v.data.size());
  if (type) *type = v.type;
  if (data) {
    if (*size < needed) {
      *size = needed;
      return ERROR_MORE_DATA;
    }
    if (needed) std::memcpy(data, v.data.constData(), needed);
  }
  if (size) *size = needed;
  return ERROR_SUCCESS;
}

int32_t RegCloseKey(HKEY hKey) {
  if (rootPath(hKey)) return ERROR_SUCCESS;
  std::lock_guard lock(g_mutex);
  return g_open.erase(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

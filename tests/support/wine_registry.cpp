#include "support/wine_registry.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <utility>

namespace corvaldo::bench {
namespace {

using Units = std::u16string;

class Random {
 public:
  explicit Random(unsigned seed) : state_(0x2545F4914F6CDD1Dull ^ (seed * 0x9E3779B97F4A7C15ull)) {}
  std::uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }

 private:
  std::uint64_t state_;
};

// CP1252 text of letters below 0x80 or in Latin-1's range.
Units Ascii(std::string_view text) {
  Units out;
  for (unsigned char c : text) out.push_back(c);
  return out;
}

std::string Hex(std::uint64_t value, int digits) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%0*llx", digits, static_cast<unsigned long long>(value));
  return buffer;
}

bool IsHexDigit(char16_t c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Wine's escaping of names and strings in its registry files: C escapes for
// control characters, \x for anything past ASCII (four digits when a hex digit
// follows), a backslash before a backslash and before the text's delimiters.
std::string Escape(const Units& text, std::string_view delimiters) {
  static constexpr std::string_view kNamed = ".......abtnvfr.............e....";
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool hexNext = i + 1 < text.size() && IsHexDigit(text[i + 1]);
    const bool octalNext = i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7';
    if (c > 127) {
      out += "\\x" + (hexNext ? Hex(c, 4) : Hex(c, 0));
    } else if (c < 32) {
      char buffer[8];
      if (kNamed[c] != '.') {
        std::snprintf(buffer, sizeof buffer, "\\%c", kNamed[c]);
      } else {
        std::snprintf(buffer, sizeof buffer, octalNext ? "\\%03o" : "\\%o", c);
      }
      out += buffer;
    } else {
      if (c == '\\' || delimiters.find(static_cast<char>(c)) != std::string_view::npos) {
        out += '\\';
      }
      out += static_cast<char>(c);
    }
  }
  return out;
}

struct Value {
  Units name;        // empty: the default value, written @
  std::string data;  // what follows '=', already in Wine's form
};

struct Key {
  std::vector<Units> path;
  std::vector<Value> values;
  bool link = false;
};

std::string Quoted(const Units& text) {
  std::string out(1, '"');
  out += Escape(text, "\"");
  out += '"';
  return out;
}

// Binary data as Wine wraps it: a line breaks after the comma that passes
// column 76, the next one indented by two spaces.
std::string HexData(std::string_view tag, const std::string& bytes, std::size_t column) {
  std::string out(tag);
  column += tag.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out += Hex(static_cast<unsigned char>(bytes[i]), 2);
    column += 2;
    if (i + 1 < bytes.size()) {
      out += ',';
      if (++column > 76) {
        out += "\\\n  ";
        column = 2;
      }
    }
  }
  return out;
}

std::string Utf16Le(const Units& text) {
  std::string out;
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::string Guid(Random& random) {
  const std::uint64_t a = random.Next(), b = random.Next();
  return "{" + Hex(a >> 32, 8) + "-" + Hex((a >> 16) & 0xFFFF, 4) + "-" + Hex(a & 0xFFFF, 4) + "-" +
         Hex(b >> 48, 4) + "-" + Hex(b & 0xFFFFFFFFFFFFull, 12) + "}";
}

class Builder {
 public:
  explicit Builder(unsigned seed) : random_(seed) {}

  Key& Add(std::string_view path) { return Add(Split(Ascii(path))); }
  Key& Add(std::vector<Units> path) {
    keys_.push_back({std::move(path), {}, false});
    return keys_.back();
  }
  static void String(Key& key, std::string_view name, const Units& text) {
    key.values.push_back({Ascii(name), Quoted(text)});
  }
  static void String(Key& key, std::string_view name, std::string_view text) {
    String(key, name, Ascii(text));
  }
  static void Tagged(Key& key, std::string_view name, std::string data) {
    key.values.push_back({Ascii(name), std::move(data)});
  }
  static void Dword(Key& key, std::string_view name, std::uint32_t value) {
    Tagged(key, name, "dword:" + Hex(value, 8));
  }
  void Link(std::string_view path, std::string_view target) {
    Key& key = Add(path);
    key.link = true;
    key.values.push_back({u"SymbolicLinkValue", "hex(6):" + Utf16Le(Ascii(target))});
  }
  Random& random() { return random_; }

  static std::vector<Units> Split(const Units& path) {
    std::vector<Units> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = path.find(u'\\', start)) != Units::npos; start = end + 1) {
      parts.push_back(path.substr(start, end - start));
    }
    parts.push_back(path.substr(start));
    return parts;
  }

  // Wine writes the tree depth first, each key's children sorted without
  // regard to case.
  SyntheticRegistry Write(const RegistryShape& shape, int sampleEvery) {
    auto upper = [](const Units& text) {
      Units out = text;
      for (char16_t& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char16_t>(c - 32);
      }
      return out;
    };
    std::stable_sort(keys_.begin(), keys_.end(), [&](const Key& a, const Key& b) {
      return std::lexicographical_compare(
          a.path.begin(), a.path.end(), b.path.begin(), b.path.end(),
          [&](const Units& x, const Units& y) { return upper(x) < upper(y); });
    });
    const std::string eol = shape.crlf ? "\r\n" : "\n";
    SyntheticRegistry out;
    std::string& text = out.text;
    text =
        "WINE REGISTRY Version 2" + eol + ";; All keys relative to REGISTRY\\\\Machine" + eol + eol;
    if (shape.archLine) text += "#arch=win64" + eol + eol;
    std::uint64_t filetime = 0x1dd871990c00000ull + random_.Below(1 << 20);
    for (std::size_t k = 0; k < keys_.size(); ++k) {
      const Key& key = keys_[k];
      std::string name;
      std::string plain;  // CP1252, for the sample
      for (std::size_t i = 0; i < key.path.size(); ++i) {
        if (i > 0) {
          name += "\\\\";
          plain += '\\';
        }
        name += Escape(key.path[i], "[]");
        for (char16_t c : key.path[i]) plain += c < 256 ? static_cast<char>(c) : '?';
      }
      filetime += 0x40 + random_.Below(0x4000);
      text += "[" + name + "] " + std::to_string(1796737176 + (filetime >> 24) % 40) + eol;
      text += "#time=" + Hex(filetime, 0) + eol;
      if (key.link) text += "#link" + eol;
      SyntheticRegistry::Key sampled{plain, {}};
      for (const Value& value : key.values) {
        std::string line = value.name.empty() ? "@" : Quoted(value.name);
        line += "=";
        if (value.data.starts_with("hex")) {
          // Tagged data holds the raw bytes after the tag; wrap them here.
          const std::size_t colon = value.data.find(':');
          line +=
              HexData(value.data.substr(0, colon + 1), value.data.substr(colon + 1), line.size());
        } else {
          line += value.data;
        }
        if (shape.crlf) {
          for (std::size_t at = 0; (at = line.find('\n', at)) != std::string::npos; at += 2) {
            line.insert(at, 1, '\r');
          }
        }
        text += line + eol;
        sampled.valueNames.emplace_back();
        for (char16_t c : value.name) {
          sampled.valueNames.back() += c < 256 ? static_cast<char>(c) : '?';
        }
      }
      text += eol;
      if (sampleEvery > 0 && k % static_cast<std::size_t>(sampleEvery) == 0) {
        out.sample.push_back(std::move(sampled));
      }
    }
    return out;
  }

 private:
  Random random_;
  std::vector<Key> keys_;
};

const char* const kWords[] = {"Shell",   "Media",    "Direct",  "Script", "Font",   "Print",
                              "Audio",   "Video",    "Net",     "Crypt",  "Search", "Task",
                              "Storage", "Property", "Moniker", "Stream", "Device", "Input"};

std::string Word(Random& random) { return kWords[random.Below(std::size(kWords))]; }

// COM classes: {clsid} with its name and an InprocServer32 key.
void Classes(Builder& b, std::string_view root, int count, bool wow) {
  Random& r = b.random();
  for (int i = 0; i < count; ++i) {
    const std::string clsid = Guid(r);
    const std::string name = Word(r) + Word(r) + " Class";
    Key& cls = b.Add(std::string(root) + "\\" + clsid);
    Builder::String(cls, "", name);
    Key& server = b.Add(std::string(root) + "\\" + clsid + "\\InprocServer32");
    Builder::String(
        server, "",
        std::string("C:\\windows\\") + (wow ? "syswow64" : "system32") + "\\" + Word(r) + ".dll");
    Builder::String(server, "ThreadingModel", r.Below(3) ? "Both" : "Apartment");
  }
}

// COM interfaces: {iid} with its name, NumMethods and ProxyStubClsid32.
void Interfaces(Builder& b, std::string_view root, int count) {
  Random& r = b.random();
  for (int i = 0; i < count; ++i) {
    const std::string iid = std::string(root) + "\\" + Guid(r);
    std::string name = "I";  // built up: GCC 12 warns wrongly of "I" + std::string
    name += Word(r);
    name += Word(r);
    Builder::String(b.Add(iid), "", name);
    Builder::String(b.Add(iid + "\\NumMethods"), "", std::to_string(3 + r.Below(40)));
    Builder::String(b.Add(iid + "\\ProxyStubClsid32"), "", Guid(r));
  }
}

// Time zones, some names localised: the escapes of non-ASCII text.
void TimeZones(Builder& b, int count) {
  Random& r = b.random();
  const Units localised[] = {
      u"(UTC-03:00) Bras\u00edlia", u"(UTC+01:00) Europa Ocidental \u2013 Lisboa",
      u"(UTC+02:00) \u0410\u0444\u0438\u043d\u044b", u"Hora de ver\u00e3o \u00abA\u00bb"};
  for (int i = 0; i < count; ++i) {
    const std::string zone = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\" +
                             Word(r) + " " + Word(r) + " Standard Time " + std::to_string(i);
    Key& key = b.Add(zone);
    Builder::String(key, "Display", localised[i % std::size(localised)]);
    Builder::String(key, "Dlt", Word(r) + " Daylight Time");
    Builder::String(key, "MUI_Display", "@tzres.dll,-" + std::to_string(100 + i * 10));
    Builder::String(key, "Std", Word(r) + " Standard Time");
    std::string tzi;
    for (int k = 0; k < 44; ++k) tzi += static_cast<char>(r.Below(4) ? 0 : r.Below(256));
    Builder::Tagged(key, "TZI", "hex:" + tzi);
    Key& dynamic = b.Add(zone + "\\Dynamic DST");
    for (int year = 2000; year < 2000 + 8 + r.Below(20); ++year) {
      Builder::Tagged(dynamic, std::to_string(year), "hex:" + tzi);
    }
    Builder::Dword(dynamic, "FirstEntry", 2000);
  }
}

void Services(Builder& b, int count) {
  Random& r = b.random();
  for (int i = 0; i < count; ++i) {
    const std::string name = Word(r) + Word(r) + std::to_string(i);
    Key& service = b.Add("System\\CurrentControlSet\\Services\\" + name);
    Builder::String(service, "Description", "\"" + name + "\" service");
    Builder::String(service, "DisplayName", name);
    Builder::Dword(service, "ErrorControl", 1);
    Builder::Tagged(service, "ImagePath",
                    "str(2):\"%SystemRoot%\\\\system32\\\\" + name + ".exe\"");
    Builder::String(service, "ObjectName", "LocalSystem");
    Builder::Dword(service, "Start", 2 + r.Below(3));
    Builder::Dword(service, "Type", 0x10);
    if (i % 4 == 0) {
      Key& device = b.Add("System\\CurrentControlSet\\Enum\\ROOT\\" + name +
                          "\\0000\\Properties\\" + Guid(r) + "\\0002");
      std::string path;
      for (char c : "\\\\.\\" + name + "\\Device") path += std::string{c, '\0'};
      Builder::Tagged(device, "", "hex(ffff0012):" + path);
      Builder::Tagged(b.Add("System\\CurrentControlSet\\Enum\\ROOT\\" + name + "\\0000"),
                      "HardwareID", "str(7):\"ROOT\\\\" + name + "\\0\"");
    }
  }
}

// Settings keys of no particular shape: strings, paths, dwords, binaries.
void Settings(Builder& b, std::string_view root, int count) {
  Random& r = b.random();
  for (int i = 0; i < count; ++i) {
    std::string path(root);
    for (int depth = 0, n = 1 + r.Below(4); depth < n; ++depth) {
      path += '\\';
      path += Word(r);
    }
    Key& key = b.Add(path + " " + std::to_string(i));
    for (int v = 0, n = r.Below(6); v < n; ++v) {
      const std::string name = Word(r) + std::to_string(v);
      switch (r.Below(5)) {
        case 0:
          Builder::Dword(key, name, static_cast<std::uint32_t>(r.Next()));
          break;
        case 1:
          Builder::String(key, name, "C:\\Program Files\\" + Word(r) + "\\" + Word(r) + ".exe");
          break;
        case 2:
          Builder::String(key, name, "\"C:\\Program Files\\" + Word(r) + ".exe\" \"%1\"");
          break;
        case 3: {
          std::string bytes;
          for (int k = 0, len = r.Below(120); k < len; ++k)
            bytes += static_cast<char>(r.Below(256));
          Builder::Tagged(key, name, "hex:" + bytes);
          break;
        }
        default:
          Builder::String(key, name, Word(r));
          break;
      }
    }
  }
}

}  // namespace

SyntheticRegistry MakeWineSystemReg(const RegistryShape& shape, int sampleEvery) {
  Builder b(shape.seed);
  // Shares as in a fresh Wine 8 prefix, scaled to the keys asked for.
  const double k = shape.keys / 15700.0;
  auto n = [&](double count) { return std::max(1, static_cast<int>(count * k + 0.5)); };
  Classes(b, "Software\\Classes\\CLSID", n(1057), false);
  Classes(b, "Software\\Classes\\Wow6432Node\\CLSID", n(1080), true);
  Interfaces(b, "Software\\Classes\\Interface", n(1370));
  Interfaces(b, "Software\\Classes\\Wow6432Node\\Interface", n(1370));
  TimeZones(b, n(140));
  Services(b, n(90));
  Settings(b, "Software\\Classes", n(900));
  Settings(b, "Software\\Microsoft", n(900));
  Settings(b, "Software\\Wow6432Node\\Microsoft", n(900));
  // Wine's links between the views, each a key holding only SymbolicLinkValue.
  b.Link("Software\\Wow6432Node\\Classes", "\\REGISTRY\\Machine\\Software\\Classes\\Wow6432Node");
  for (const char* shared : {"AppId", "Protocols", "TypeLib"}) {
    b.Link(std::string("Software\\Classes\\Wow6432Node\\") + shared,
           std::string("\\REGISTRY\\Machine\\Software\\Classes\\") + shared);
  }
  for (int i = 0, links = n(50); i < links; ++i) {
    const std::string tail = "Microsoft\\" + Word(b.random()) + " Shared " + std::to_string(i);
    b.Link("Software\\Wow6432Node\\" + tail, "\\REGISTRY\\Machine\\Software\\" + tail);
  }
  // Keys whose names need escapes.
  Builder::String(b.Add(std::vector<Units>{u"Software", u"Wow6432Node", u"Jogos Edi\u00e7\u00e3o",
                                           u"[Especial] \u00abTa\u00e7a\u00bb"}),
                  "Caminho", u"C:\\Jogos\\Edi\u00e7\u00e3o \"2005\"");
  if (shape.withGame) {
    Key& game = b.Add("Software\\Wow6432Node\\EA SPORTS\\TOTAL CLUB MANAGER 2005");
    Builder::String(game, "Install Dir", kSyntheticInstallDir);
    Builder::String(game, "Language", "Portugu\xeas");
    Builder::Dword(game, "Version", 0x01000000);
  }
  return b.Write(shape, sampleEvery);
}

}  // namespace corvaldo::bench

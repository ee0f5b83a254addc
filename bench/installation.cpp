#include "installation.h"

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace corvaldo::bench {
namespace {

// A small deterministic generator: the same shape always gives the same bytes.
class Random {
 public:
  explicit Random(unsigned seed) : state_(0x9E3779B97F4A7C15ull ^ seed) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 11);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }
  template <std::size_t N>
  const char* Pick(const char* const (&items)[N]) {
    return items[Next() % N];
  }

 private:
  std::uint64_t state_;
};

// CP1252 names, as the game stores them.
const char* const kFirstNames[] = {"Jo\xE3o",  "Jos\xE9",  "Ant\xF3nio", "Rui",   "Lu\xEDs",
                                   "Nuno",     "Sim\xE3o", "Ricardo",    "Paulo", "Fernando",
                                   "Andr\xE9", "Hugo",     "Pedro",      "Tiago", "Miguel"};
const char* const kLastNames[] = {
    "Silva",           "Santos",          "Ferreira",  "Pereira",      "Gon\xE7\x61lves",
    "Concei\xE7\xE3o", "Louren\xE7o",     "Rodrigues", "Sim\xF5\x65s", "Ribeiro",
    "Carvalho",        "Magalh\xE3\x65s", "Ara\xFAjo"};
const char* const kTowns[] = {"Braga",   "Guimar\xE3\x65s", "Set\xFA\x62\x61l", "Faro",
                              "Coimbra", "Aveiro",          "Barcelos",         "Viseu",
                              "Leiria",  "\xC9vora"};
const char* const kRounds[] = {"ROUND_1",         "ROUND_2",       "ROUND_3",
                               "ROUND_4",         "ROUND_LAST_16", "ROUND_QUARTERFINAL",
                               "ROUND_SEMIFINAL", "ROUND_FINAL"};

void Line(std::string& out, std::string_view text) {
  out.append(text);
  out.append("\r\n");
}

std::string Num(long long value) { return std::to_string(value); }

void CompetitionIndex(std::string& out) {
  Line(out, "%INDEX%COMPETITION");
  const char* const leagues[] = {"ID_SUPERLIGA", "ID_LIGA_DE_HONRA", "ID_II_DIVISAO_NORTE",
                                 "ID_II_DIVISAO_CENTRO", "ID_II_DIVISAO_SUL"};
  int id = 0;
  for (const char* league : leagues) {
    Line(out, "DB_LEAGUE");
    Line(out, "{ " + Num(id) + ", LEAGUE, " + league + " }");
    Line(out, "18");
    Line(out, "34");
    Line(out, "0");
    Line(out, Num(id + 1));
    Line(out, Num(3 * id + 1) + "," + Num(3 * id + 2) + "," + Num(3 * id + 3));
    Line(out, "%INDEXEND%COMP");
    ++id;
  }
  // Portugal's cup as an unpatched file holds it: no DB_CUP line before it.
  Line(out, "");
  Line(out, "{ " + Num(id++) + ", FA_CUP, ID_TA\xC7\x41_DE_PORTUGAL }");
  Line(out, "128");
  Line(out, "8");
  Line(out, "0");
  Line(out, "3");
  Line(out, "7,8");
  Line(out, "%INDEXEND%COMP");
  Line(out, "DB_SUPERCUP");
  Line(out, "{ " + Num(id) + ", SUPERCUP, ID_SUPERTACA }");
  Line(out, "2");
  Line(out, "1");
  Line(out, "0");
  Line(out, "4");
  Line(out, "1,2");
  Line(out, "%INDEXEND%COMP");
  Line(out, "%INDEXEND%COMPETITION");
  Line(out, "");
}

// One club with its squad: about 3 KB of short lines.
void Club(std::string& out, Random& random, int club, int& player) {
  Line(out, "%INDEX%CLUB");
  Line(out, "{ " + Num(club) + ", CLUB, ID_CLUB_" + Num(club) + " }");
  const std::string town = random.Pick(kTowns);
  Line(out, "Clube Desportivo de " + town);
  Line(out, town);
  Line(out, Num(1900 + random.Below(90)));
  Line(out, Num(1 + random.Below(5)));
  Line(out, Num(5000 + 1000 * random.Below(60)));
  Line(out,
       Num(random.Below(50)) + "," + Num(random.Below(50)) + "," + Num(random.Below(9)) + ",0");
  Line(out, "%INDEXEND%CLUB");
  Line(out, "%INDEX%PLAYER");
  const int squad = 22 + random.Below(8);
  for (int i = 0; i < squad; ++i, ++player) {
    Line(out, "{ " + Num(player) + ", PLAYER, " + Num(club) + " }");
    Line(out, random.Pick(kFirstNames));
    Line(out, random.Pick(kLastNames));
    Line(out, Num(10 + random.Below(18)) + "." + Num(10 + random.Below(3)) + "." +
                  Num(1970 + random.Below(17)));
    Line(out, Num(1 + random.Below(4)));
    std::string skills;
    for (int s = 0; s < 8; ++s) {
      if (s > 0) skills += ',';
      skills += Num(30 + random.Below(60));
    }
    Line(out, skills);
    Line(out, Num(2005 + random.Below(5)));
    Line(out, Num(10000 * (1 + random.Below(300))));
  }
  Line(out, "%INDEXEND%PLAYER");
  Line(out, "");
}

}  // namespace

std::string CupScript(int blocks, unsigned seed) {
  Random random(seed);
  std::string out;
  out.reserve(static_cast<std::size_t>(blocks) * 1000 + 1000);
  // The patch reads a cup's index back from two digits, so a script the game
  // can use never counts more than 99 cups, however many blocks it holds.
  Line(out, Num(blocks < 99 ? blocks : 99));
  Line(out, "; Cup allocation script (synthetic benchmark data)");
  Line(out, "; Each block: index line, country code, cup id, flags, rounds.");
  for (int b = 0; b < blocks; ++b) {
    const std::string id = "_ID_FACUP_COUNTRY_" + Num(b);
    Line(out, "; ----------------------------------------------");
    Line(out, "; " + id);
    Line(out, "; ----------------------------------------------");
    Line(out, "%INDEX%CUP" + Num(b));
    Line(out,
         std::string(1, static_cast<char>('A' + b % 26)) + static_cast<char>('A' + (b / 26) % 26));
    Line(out, id);
    Line(out, "0");
    const int rounds = 3 + random.Below(6);
    Line(out, Num(rounds));
    Line(out, ";always play one match, with extra time and penalties");
    int teams = 2 << rounds;
    for (int r = 0; r < rounds; ++r, teams /= 2) {
      const char* name = kRounds[8 - rounds + r];
      Line(out, "{ " + Num(r) + ", 8, " + Num(teams / 2) + ",  0,   0,   0, " + name +
                    ", BEG_1ST_LEG, BEG_WITH_EXTRA_TIME, BEG_WITH_PENALTY }");
    }
    Line(out, "1");
    Line(out, "GET_TAB_LEVEL_X_TO_Y");
    Line(out, "1");
    Line(out, "1");
    Line(out, Num(16 + random.Below(4)));
    Line(out, "%INDEXEND%CUP" + Num(b));
    Line(out, "");
  }
  return out;
}

std::string CountryFile(std::size_t bytes, IndexPlace place, unsigned seed) {
  Random random(seed);
  std::string out;
  out.reserve(bytes + 8192);
  Line(out, "; Country 38: Portugal (synthetic benchmark data)");
  Line(out, "PORTUGAL");
  Line(out, "38");
  Line(out, "");
  if (place == IndexPlace::Start) CompetitionIndex(out);
  std::string tail;
  if (place == IndexPlace::End) CompetitionIndex(tail);
  int club = 0;
  int player = 0;
  while (out.size() + tail.size() < bytes) Club(out, random, club++, player);
  out += tail;
  return out;
}

std::string RulesFile() {
  std::string out;
  Line(out, "; Rules (synthetic benchmark data)");
  for (int line = 2; line <= 40; ++line) {
    // Lines 31 and 34 hold other values than the ones the patch sets.
    Line(out, Num(line == 31 || line == 34 ? 2490368 + line : 1000 + line));
  }
  return out;
}

bool WriteInstallation(const std::string& dir, const InstallationShape& shape) {
  namespace fs = std::filesystem;
  const fs::path root(dir);
  const fs::path game = root / "drive_c" / "Games" / "TCM 2005";
  std::error_code error;
  fs::create_directories(game / "script", error);
  fs::create_directories(game / "database", error);
  if (error) return false;
  auto write = [](const fs::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
  };
  const std::string registry =
      "WINE REGISTRY Version 2\n"
      ";; All keys relative to \\\\Machine\n\n"
      "#arch=win64\n\n"
      "[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005] 1765152000\n"
      "\"Install Dir\"=\"C:\\\\Games\\\\TCM 2005\\\\\"\n";
  return write(root / "system.reg", registry) &&
         write(game / "script" / "cupAlloc.txt", CupScript(shape.cupBlocks, shape.seed)) &&
         write(game / "database" / "Country38.sav",
               CountryFile(shape.countryBytes, shape.indexPlace, shape.seed)) &&
         write(game / "database" / "Rules.sav", RulesFile());
}

}  // namespace corvaldo::bench

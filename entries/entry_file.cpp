// The entry file: reading, listing and changing entry blocks.
//
// Stored lines are framed so that every scrambled line survives the trip
// through the file (docs/entry_file.md): a stored line that holds byte 0,
// 10, 13 or 26 is written with each of these bytes as byte 26 followed by
// the byte XOR 64 ("@", "J", "M" or "Z"). Lines without those bytes are
// written as they are, so files that never needed the escape keep their
// exact bytes.
//
// The changing operations work on the stored lines and scramble only the
// lines they write anew: unscrambling a stored line and scrambling it again
// gives the same bytes, so the file they write is the one that loading,
// changing and saving the plain lines would write. A line that stands in the
// file exactly as a writer writes it is written back from the old bytes as
// it stands; only the others are framed anew.
//
// Both readers find line ends and escapes with memchr (the whole-file reader
// a written file's line ends 64 bytes at a time) and hand lines on as views
// into the file's bytes: every read looks at every byte of the file,
// and most lines need nothing but their place.
#include "entries/entry_file.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <bitset>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "entries/line_scrambler.h"
#include "shell/file_io.h"
#include "shell/host_calls.h"
#include "shell/messages.h"
#include "shell/text_helpers.h"
#include "tools/event_log.h"

const char kEntryFileName[] = "vezuzaziz.ini";
const char kEntryLockSuffix[] = ".lock";

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kEscape = '\x1A';
constexpr unsigned char kEscapeFlip = 0x40;

EntryValues g_current;

// The bytes a stored line cannot hold as they are.
constexpr bool NeedsFraming(char c) { return c == '\0' || c == kLF || c == kCR || c == kEscape; }

// The first position from `from` on that holds `byte`, or the size of the
// data. memchr: every read of the file looks at each of its bytes.
size_t Find(std::string_view data, size_t from, char byte) {
  if (from >= data.size()) return data.size();
  const void* hit = std::memchr(data.data() + from, byte, data.size() - from);
  return hit == nullptr ? data.size() : static_cast<size_t>(static_cast<const char*>(hit) - data.data());
}

// The next position of one byte at or after a position that only grows,
// for a reader that goes through the data once: each search starts where
// the last one found its byte, so the whole data costs one sweep however
// rare or frequent the byte is.
class NextByte {
 public:
  NextByte(std::string_view data, char byte) : data_(data), byte_(byte) {}
  size_t From(size_t from) {
    if (!searched_ || at_ < from) {
      at_ = Find(data_, from, byte_);
      searched_ = true;
    }
    return at_;
  }

 private:
  std::string_view data_;
  char byte_;
  size_t at_ = 0;
  bool searched_ = false;
};

// The positions of the CRs in the data, in order, found 64 bytes at a time:
// a bit mask of each block's CRs, whose set bits are then taken one by one.
// For a file of short lines this is far quicker than a memchr from each line
// to the next, each of which has to wait for the one before it.
class CrPositions {
 public:
  explicit CrPositions(std::string_view data) : data_(data) {}

  // The next CR after the last one given; the data's size when none is left.
  size_t Next() {
    while (mask_ == 0) {
      if (next_block_ >= data_.size()) return data_.size();
      block_ = next_block_;
      mask_ = MaskAt(block_);
      next_block_ += kBlock;
    }
    const size_t cr = block_ + static_cast<size_t>(std::countr_zero(mask_));
    mask_ &= mask_ - 1;
    return cr;
  }

 private:
  static constexpr size_t kBlock = 64;
  static_assert(std::endian::native == std::endian::little, "the masks take a block's bytes as little-endian words");

  // Bit i set where byte i of the block is a CR.
  uint64_t MaskAt(size_t at) const {
    alignas(16) unsigned char tail[kBlock] = {};
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data_.data()) + at;
    if (data_.size() - at < kBlock) {
      std::memcpy(tail, bytes, data_.size() - at);
      bytes = tail;
    }
    uint64_t mask = 0;
#if defined(__SSE2__)
    // Sixteen bytes compared at once, their results taken as sixteen bits.
    const __m128i cr = _mm_set1_epi8(kCR);
    for (size_t part = 0; part < kBlock / 16; ++part) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
      mask |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)))) << (16 * part);
    }
#else
    for (size_t word = 0; word < kBlock / 8; ++word) {
      uint64_t v = 0;
      std::memcpy(&v, bytes + 8 * word, 8);
      // The high bit of each byte that equals CR, without a carry from one
      // byte into the next; then those eight bits gathered into one byte.
      const uint64_t x = v ^ 0x0D0D0D0D0D0D0D0Dull;
      const uint64_t high = ~(((x & 0x7F7F7F7F7F7F7F7Full) + 0x7F7F7F7F7F7F7F7Full) | x) & 0x8080808080808080ull;
      mask |= (((high >> 7) * 0x0102040810204080ull) >> 56) << (8 * word);
    }
#endif
    return mask;
  }

  std::string_view data_;
  size_t block_ = 0;
  size_t next_block_ = 0;
  uint64_t mask_ = 0;
};

bool IsEscapeLetter(char c) { return c == '@' || c == 'J' || c == 'M' || c == 'Z'; }

char Unescaped(char letter) { return static_cast<char>(static_cast<unsigned char>(letter) ^ kEscapeFlip); }

// Appends a stored line in its framed form.
void AppendFramed(std::string& out, std::string_view stored) {
  size_t start = 0;
  for (size_t i = 0; i < stored.size(); ++i) {
    if (!NeedsFraming(stored[i])) continue;
    out.append(stored.data() + start, i - start);
    out.push_back(kEscape);
    out.push_back(static_cast<char>(static_cast<unsigned char>(stored[i]) ^ kEscapeFlip));
    start = i + 1;
  }
  out.append(stored.data() + start, stored.size() - start);
}

// Appends a stored line in its framed form, followed by CR LF.
void AppendFramedLine(std::string& out, std::string_view stored) {
  AppendFramed(out, stored);
  out.push_back(kCR);
  out.push_back(kLF);
}

// How far the data is framed as the writers frame it.
struct Framing {
  // Every LF comes right after a CR, every byte 26 starts an escape, and no
  // byte is 0: lines end at CRs, and each line's bytes are its stored form
  // framed (when it is not longer than 255 bytes stored).
  bool throughout = false;
  // Besides, every CR is followed by an LF, the data ends with one, and
  // every 128 bytes hold a CR (so no line is longer than 253 bytes): the data
  // is exactly what the writers write for its lines.
  bool every_line_as_written = false;
};

// One pass over the data, in blocks of 128 bytes with byte-sized counts
// (each byte adds at most one to each): a loop that compilers turn into
// vector code, far cheaper than looking at each line. The first and the last
// byte, which lack a byte before or after, are looked at by themselves.
Framing FramingOf(std::string_view data) {
  if (data.empty()) return Framing{true, true};
  const auto* d = reinterpret_cast<const unsigned char*>(data.data());
  const size_t n = data.size();
  auto is_letter = [](unsigned char c) { return c == '@' || c == 'J' || c == 'M' || c == 'Z'; };
  size_t bad = 0, bare_cr = 0;  // bytes that break the framing; CRs without an LF after them
  bool block_without_cr = false;
  constexpr size_t kBlock = 128;
  for (size_t i = 1; i + 1 < n;) {
    const size_t count = std::min(kBlock, n - 1 - i);
    unsigned char block_bad = 0, block_bare_cr = 0, block_cr = 0;
    auto add = [&](const unsigned char* p) {
      const unsigned char before = p[-1], byte = p[0], next = p[1];
      // The byte after a byte 26, else 0 (no escape letter).
      const auto after_escape = static_cast<unsigned char>(next & static_cast<unsigned char>(-(byte == kEscape)));
      const auto pair = static_cast<unsigned char>((after_escape == '@') + (after_escape == 'J') + (after_escape == 'M') +
                                                   (after_escape == 'Z'));
      block_bad = static_cast<unsigned char>(block_bad + ((byte == kLF) & (before != kCR)) + (byte == kEscape) - pair +
                                             (byte == 0));
      block_bare_cr = static_cast<unsigned char>(block_bare_cr + ((byte == kCR) & (next != kLF)));
      block_cr = static_cast<unsigned char>(block_cr + (byte == kCR));
    };
    if (count == kBlock) {
      for (size_t j = 0; j < kBlock; ++j) add(d + i + j);
    } else {
      for (size_t j = 0; j < count; ++j) add(d + i + j);
    }
    bad += block_bad;
    bare_cr += block_bare_cr;
    block_without_cr = block_without_cr || block_cr == 0;
    i += count;
  }
  const unsigned char first = d[0], last = d[n - 1];
  const bool first_bad = first == kLF || first == 0 || (first == kEscape && !(n > 1 && is_letter(d[1])));
  const bool first_bare_cr = first == kCR && !(n > 1 && d[1] == kLF);
  const bool last_bad = n > 1 && ((last == kLF && d[n - 2] != kCR) || last == kEscape || last == 0);
  Framing f;
  f.throughout = bad == 0 && !first_bad && !last_bad;
  f.every_line_as_written = f.throughout && bare_cr == 0 && !first_bare_cr && last == kLF && n > 1 &&
                            !block_without_cr;
  return f;
}

// Zero bytes at the end of a file are no part of it: a file cut short by a
// crash can end in them. A zero byte with other bytes after it belongs to
// its line: files written before lines were framed can hold one inside a
// stored line.
std::string_view WithoutZeroTail(std::string_view data) {
  while (!data.empty() && data.back() == '\0') data.remove_suffix(1);
  return data;
}

// The line-by-line reader of ReadDialEntry and ListEntryNames: a line ends at
// CR, and one LF right after the CR is skipped (an LF anywhere else belongs
// to the line); byte 26 ends the file unless it starts an escape.
class LineReader {
 public:
  explicit LineReader(std::string_view data)
      : data_(WithoutZeroTail(data)), next_cr_(data_, kCR), next_escape_(data_, kEscape) {}

  // The next stored line, unescaped and cut to 255 bytes; false at the end.
  // The line is a view into the data, or into the reader for a line that
  // held escapes; it stays valid until the next call.
  bool Next(std::string_view& line) {
    if (ended_ || at_ >= data_.size()) return false;
    const size_t cr = next_cr_.From(at_);
    size_t escape = next_escape_.From(at_);
    if (escape >= cr) {  // the usual line: its bytes as they stand
      line = data_.substr(at_, std::min(cr - at_, kMaxLineBytes));
      SkipLineEnd(cr);
      return true;
    }
    if (escape == at_ && !EscapeAt(at_)) {
      ended_ = true;
      return false;
    }
    // A line that holds escapes: the runs between them copied, each escape
    // decoded.
    size_t n = 0;
    auto append = [&](const char* bytes, size_t count) {
      count = std::min(count, kMaxLineBytes - n);
      std::memcpy(unescaped_.data() + n, bytes, count);
      n += count;
    };
    for (;;) {
      append(data_.data() + at_, escape - at_);
      if (escape >= cr) break;
      if (!EscapeAt(escape)) {  // a bare byte 26: the end of the file
        ended_ = true;
        line = std::string_view(unescaped_.data(), n);
        return true;
      }
      const char byte = Unescaped(data_[escape + 1]);
      append(&byte, 1);
      at_ = escape + 2;
      escape = std::min(next_escape_.From(at_), cr);
    }
    line = std::string_view(unescaped_.data(), n);
    SkipLineEnd(cr);
    return true;
  }

 private:
  bool EscapeAt(size_t i) const { return i + 1 < data_.size() && IsEscapeLetter(data_[i + 1]); }
  void SkipLineEnd(size_t cr) {
    at_ = cr + 1;
    if (at_ < data_.size() && data_[at_] == kLF) ++at_;
  }

  std::string_view data_;
  NextByte next_cr_;
  NextByte next_escape_;
  std::array<char, kMaxLineBytes> unescaped_;
  size_t at_ = 0;
  bool ended_ = false;
};

// One line as the whole-file reader finds it.
struct FileLine {
  size_t begin = 0;        // where its bytes start in the data
  size_t end = 0;          // where the next line starts
  std::string_view bytes;  // its bytes as they stand, without the line end
  // The bytes are its stored (unescaped, cut) form framed as a writer
  // frames it: no byte 0, every byte 26 an escape, at most 255 bytes stored.
  bool framed = false;
  // Framed, and ended by CR LF: the file holds it exactly as a writer writes
  // it, so it is written back as it stands.
  bool as_written = false;
};

// The length of the stored form of framed bytes.
size_t UnframedSize(std::string_view framed) {
  return framed.size() - static_cast<size_t>(std::count(framed.begin(), framed.end(), kEscape));
}

// The whole-file reader of the changing operations: CR, LF and CR LF each
// end a line; byte 26 starts an escape when an escape letter follows and is
// an ordinary byte otherwise. Stored lines come unescaped and cut to 255
// bytes. (Ending the text at the first zero byte instead would drop every
// entry after a stored line that holds one at the next change.)
//
// A file framed all through as the writers frame it (every file the plug-in
// wrote) is read by its CRs alone, found 64 bytes at a time; only another
// file has its lines' bytes looked at one by one.
class WholeFileReader {
 public:
  explicit WholeFileReader(std::string_view data)
      : data_(WithoutZeroTail(data)),
        framing_(FramingOf(data_)),
        crs_(data_),
        next_cr_(data_, kCR),
        next_lf_(data_, kLF),
        next_escape_(data_, kEscape),
        next_zero_(data_, '\0') {}

  std::string_view data() const { return data_; }
  // Whether every line of the data stands as a writer writes it.
  bool EveryLineAsWritten() const { return framing_.every_line_as_written; }

  bool Next(FileLine& line) {
    if (at_ >= data_.size()) return false;
    if (!framing_.every_line_as_written) return NextOfAnyFile(line);
    // Every line ends with CR LF, and every CR ends a line.
    const size_t cr = crs_.Next();
    line.begin = at_;
    line.bytes = std::string_view(data_.data() + at_, cr - at_);
    line.framed = line.as_written = true;
    at_ = line.end = cr + 2;
    return true;
  }

  // The stored form of a line Next gave: a view into the data, or into
  // `scratch` for a line that holds escapes.
  static std::string_view Stored(const FileLine& line, std::string& scratch) {
    const std::string_view b = line.bytes;
    if (b.find(kEscape) == std::string_view::npos) return b.substr(0, kMaxLineBytes);
    scratch.clear();
    for (size_t i = 0; i < b.size(); ++i) {
      char byte = b[i];
      if (byte == kEscape && i + 1 < b.size() && IsEscapeLetter(b[i + 1])) byte = Unescaped(b[++i]);
      if (scratch.size() < kMaxLineBytes) scratch.push_back(byte);
    }
    return scratch;
  }

 private:
  bool NextOfAnyFile(FileLine& line) {
    const size_t size = data_.size();
    const char* d = data_.data();
    line.begin = at_;
    size_t end = next_cr_.From(at_);
    if (framing_.throughout) {
      // Every LF follows a CR: the line ends at the CR.
      line.bytes = std::string_view(d + at_, end - at_);
      line.framed = line.bytes.size() <= kMaxLineBytes || UnframedSize(line.bytes) <= kMaxLineBytes;
    } else {
      end = std::min(end, next_lf_.From(at_));
      line.bytes = std::string_view(d + at_, end - at_);
      bool framed = next_zero_.From(at_) >= end;
      size_t unescaped = end - at_;
      for (size_t e = next_escape_.From(at_); e < end; e = next_escape_.From(e + 1)) {
        if (e + 1 < end && IsEscapeLetter(d[e + 1])) {
          --unescaped;
          ++e;  // the letter is no byte 26
        } else {
          framed = false;  // a bare byte 26 gets framed when written
        }
      }
      line.framed = framed && unescaped <= kMaxLineBytes;
    }
    const bool crlf = end + 1 < size && d[end] == kCR && d[end + 1] == kLF;
    line.as_written = line.framed && crlf;
    at_ = end == size ? size : end + (crlf ? 2 : 1);
    line.end = at_;
    return true;
  }

  std::string_view data_;
  const Framing framing_;
  CrPositions crs_;
  NextByte next_cr_;
  NextByte next_lf_;
  NextByte next_escape_;
  NextByte next_zero_;
  size_t at_ = 0;
};

// Whether a stored line is a header line: its plain form starts with "[".
bool IsHeader(std::string_view stored) {
  return UnscrambledStartsWith(stored, '[', kScramblePasses);
}

// How many lines of the right size ExactName unscrambles before it makes
// the name's forms instead (see there); changed by the tests. Every sixteen
// other lines it has to look into (their stored size) count as one more.
size_t g_candidates_before_forms = 48;
constexpr size_t kLinesPerCandidate = 16;

// The exact rule: the stored line is a header line and its plain form
// without its first and last byte is the name, byte for byte.
//
// A line of the right size is unscrambled and compared. A file with many
// such lines (a file of thousands of entries, whose names mostly have the
// same length) is instead looked at without unscrambling any line: the
// plain lines that pass are "[" + name + any last byte; the scrambler maps
// the lines of one length one to one, and framing is one to one too, so a
// line passes exactly when its framed bytes are those of one of these 256
// lines. Once made, these forms rule out a line of another length or
// another first byte at once; the others are looked up, first in a bit
// table of their hashes that rules out nearly all of them, then among the
// forms of the same hash. Making the forms costs 256 scrambles, more than
// the few header lines of an everyday file cost to unscramble, so they are
// made only after g_candidates_before_forms lines of the right size, or
// sixteen times as many lines of about the right size looked into.
class ExactName {
 public:
  explicit ExactName(const std::string& name)
      // The empty name is held by "[" too, a line of another length: it
      // takes the rule as it stands (the entry dialogs never save it). No
      // stored line holds a longer name than 253 bytes.
      : name_(name), formable_(!name.empty() && name.size() + 2 <= kMaxLineBytes) {}
  ExactName(const ExactName&) = delete;
  ExactName& operator=(const ExactName&) = delete;

  bool HeldBy(const FileLine& line, std::string& scratch) const {
    if (!forms_) return HeldBeforeForms(line, scratch);
    // Most lines are ruled out by their length or their first byte alone.
    const Forms& f = *forms_;
    if (line.framed && (!f.lengths.test(std::min(line.bytes.size(), f.lengths.size() - 1)) || line.bytes.empty() ||
                        !f.first_bytes.test(static_cast<unsigned char>(line.bytes[0])))) {
      return false;
    }
    return LookedUp(line, scratch);
  }

 private:
  static constexpr size_t kHashBits = size_t{1} << 16;
  struct Forms {
    std::array<std::string, 256> framed;                 // by the plain form's last byte
    std::array<std::pair<size_t, uint8_t>, 256> by_hash;  // each form's hash and index, sorted
    std::bitset<2 * kMaxLineBytes + 1> lengths;
    std::bitset<256> first_bytes;
    std::bitset<kHashBits> hashes;
  };

  static size_t Hash(std::string_view framed) { return std::hash<std::string_view>{}(framed); }

  void MakeForms() const {
    auto f = std::make_unique<Forms>();
    std::string plain = "[" + name_ + " ";
    for (size_t last = 0; last < f->framed.size(); ++last) {
      plain.back() = static_cast<char>(last);
      std::string& framed = f->framed[last];
      AppendFramed(framed, ScrambleLine(plain, kScramblePasses));
      f->lengths.set(framed.size());
      f->first_bytes.set(static_cast<unsigned char>(framed[0]));
      const size_t hash = Hash(framed);
      f->hashes.set(hash % kHashBits);
      f->by_hash[last] = {hash, static_cast<uint8_t>(last)};
    }
    // Sorted by their hashes, which are numbers: sorting the forms
    // themselves would cost more than making them.
    std::sort(f->by_hash.begin(), f->by_hash.end());
    forms_ = std::move(f);
  }

  bool LookedUp(const FileLine& line, std::string& scratch) const {
    const Forms& f = *forms_;
    std::string_view framed = line.bytes;
    if (!line.framed) {
      // A line of a file the writers did not write: framed anew.
      const std::string stored(WholeFileReader::Stored(line, scratch));
      if (stored.size() != name_.size() + 2) return false;
      scratch.clear();
      AppendFramed(scratch, stored);
      framed = scratch;
    }
    if (framed.size() >= f.lengths.size() || !f.lengths.test(framed.size())) return false;
    const size_t hash = Hash(framed);
    if (!f.hashes.test(hash % kHashBits)) return false;
    for (auto it = std::lower_bound(f.by_hash.begin(), f.by_hash.end(), std::pair<size_t, uint8_t>{hash, 0});
         it != f.by_hash.end() && it->first == hash; ++it) {
      if (f.framed[it->second] == framed) return true;
    }
    return false;
  }

  // Until the forms are made: the line unscrambled when it has the right
  // size, and the forms made once enough lines were looked into.
  bool HeldBeforeForms(const FileLine& line, std::string& scratch) const {
    // A framed line is at least as long as its stored form and at most
    // twice as long.
    const size_t size = name_.size() + 2;
    if (formable_ && line.framed && (line.bytes.size() < size || line.bytes.size() > 2 * size)) return false;
    const std::string_view stored = WholeFileReader::Stored(line, scratch);
    const bool candidate = HasNameSize(stored);
    work_ += candidate ? kLinesPerCandidate : 1;
    if (!formable_ || work_ <= g_candidates_before_forms * kLinesPerCandidate) {
      return candidate && HeldByUnscrambled(stored);
    }
    MakeForms();
    return HeldBy(line, scratch);
  }

  bool HasNameSize(std::string_view stored) const {
    return (stored.size() >= 2 ? stored.size() - 2 : 0) == name_.size();
  }

  bool HeldByUnscrambled(std::string_view stored) const {
    if (!IsHeader(stored)) return false;
    const std::string plain = UnscrambleLine(stored, kScramblePasses);
    return plain.size() < 2 ? name_.empty() : plain.compare(1, plain.size() - 2, name_) == 0;
  }

  std::string name_;
  bool formable_;
  mutable size_t work_ = 0;                     // lines looked into so far, candidates counting more
  mutable std::unique_ptr<const Forms> forms_;  // made when first needed
};

std::string Cut(std::string text) {
  if (text.size() > kMaxLineBytes) text.resize(kMaxLineBytes);
  return text;
}

// The new file's bytes, gathered while the old file is read: the runs of
// old lines that stand as a writer writes them are kept as views into the
// old file's bytes, everything else (lines that need framing or cutting
// anew, new lines) is framed into one buffer of its own. So a change copies
// no unchanged line: the new file is written from the pieces.
class NewFileText {
 public:
  explicit NewFileText(std::string_view old_bytes) : old_(old_bytes) {}

  // An old line, kept as it stands or written anew as a writer writes it.
  void Keep(const FileLine& line, std::string& scratch) {
    if (line.as_written) {
      Add(false, line.begin, line.end - line.begin);
    } else {
      Write(WholeFileReader::Stored(line, scratch));
    }
  }
  // Old bytes from `begin` to `end`, lines that stand as a writer writes them.
  void KeepBytes(size_t begin, size_t end) { Add(false, begin, end - begin); }
  // All of the old file, every line of which stands as a writer writes it.
  void KeepAll() { Add(false, 0, old_.size()); }
  // A stored line written anew.
  void Write(std::string_view stored) {
    const size_t at = owned_.size();
    AppendFramedLine(owned_, stored);
    Add(true, at, owned_.size() - at);
  }
  // The scrambled form of each plain line, written anew.
  void WriteBlock(const std::array<std::string, 8>& block) {
    for (const std::string& stored : block) Write(stored);
  }

  // The new file in pieces, in order. A file whose kept and new lines take
  // turns (one that was never written by the plug-in) is joined into one
  // piece instead, so that it is not written a few bytes at a time: a change
  // of a file the plug-in wrote has two or three pieces.
  std::vector<std::string_view> Pieces() {
    constexpr size_t kMostPieces = 8;
    std::vector<std::string_view> out;
    out.reserve(pieces_.size());
    for (const Piece& p : pieces_) out.push_back((p.owned ? std::string_view(owned_) : old_).substr(p.at, p.size));
    if (out.size() <= kMostPieces) return out;
    joined_.clear();
    for (std::string_view piece : out) joined_.append(piece);
    return {joined_};
  }

 private:
  struct Piece {
    bool owned;
    size_t at;
    size_t size;
  };
  void Add(bool owned, size_t at, size_t size) {
    if (!pieces_.empty() && pieces_.back().owned == owned && pieces_.back().at + pieces_.back().size == at) {
      pieces_.back().size += size;
    } else {
      pieces_.push_back(Piece{owned, at, size});
    }
  }

  std::string_view old_;
  std::string owned_;
  std::string joined_;
  std::vector<Piece> pieces_;
};

// The entry's eight lines, scrambled.
std::array<std::string, 8> StoredBlock(const DialEntry& e) {
  const std::string plain[8] = {"[" + e.Name + "]",         "Login=" + e.Login,      "Password=" + e.Password,
                                "Domain=" + e.Domain,       "Numbers=" + e.Numbers,  "Interval=" + e.Interval,
                                "Tries=" + e.Tries,         "Callback=" + e.Callback};
  std::array<std::string, 8> block;
  for (size_t i = 0; i < block.size(); ++i) block[i] = ScrambleLine(Cut(plain[i]), kScramblePasses);
  return block;
}

// The file's bytes as a reader finds them. A save on the 95 family moves the
// old file aside for a moment before the new one takes its place: a reader
// that comes then reads the moved-aside file, which is whole.
std::string ReadEntryFileBytes() {
  const std::string path = EntryFilePath();
  constexpr int kAttempts = 3;
  for (int attempt = 1;; ++attempt) {
    try {
      return ReadWholeFile(path);
    } catch (const IoError& e) {
      if (e.code() != ERROR_FILE_NOT_FOUND || attempt == kAttempts) throw;
      const std::string backup = BackupPathOf(path);
      try {
        if (FileExists(backup)) return ReadWholeFile(backup);
      } catch (const IoError&) {
        // Gone in the meantime: the new file is in place now.
      }
    }
  }
}

// Held by every change for its read, change and write, so that changes of
// two processes (two host windows) follow one another instead of one
// overwriting the other: each change applies to the file as the previous
// one left it.
class ChangeLock {
 public:
  ChangeLock() : lock_(EntryFilePath() + kEntryLockSuffix, kEntryLockWaitMs, MEntryFileBusy) {
    // A save cut short (the process ended between its steps) is finished
    // before anything else reads the file.
    if (CompleteInterruptedReplace(EntryFilePath())) WriteLogLine(Msg(MEntrySaveCompleted));
  }

 private:
  FileLock lock_;
};

// The value rule. A value is everything after the first "=" that follows
// the key, so a value may hold "=" itself. A line with nothing before its
// first "=" keeps the word rule (word 2 with "=" as the delimiter), which
// gives the same as the first rule for every line the writers produce
// without "=" in the value.
std::string ValueOf(const std::string& plain) {
  const size_t equals = plain.find('=');
  if (equals != std::string::npos && equals > 0) return plain.substr(equals + 1);
  return NthWord(2, plain, Delimiters("="));
}

// The old lines a change's loop keeps one after another as they stand,
// held in the loop's own variables and handed to the new text as one piece
// when something else comes between: a kept line costs no more than noting
// where it ends.
class KeptRun {
 public:
  void Extend(const FileLine& line) {
    if (begin_ == kNone) begin_ = line.begin;
    end_ = line.end;
  }
  void HandTo(NewFileText& text) {
    if (begin_ != kNone) text.KeepBytes(begin_, end_);
    begin_ = kNone;
  }

 private:
  static constexpr size_t kNone = ~size_t{0};
  size_t begin_ = kNone;
  size_t end_ = 0;
};

// One change, under the lock: the file read, its new text gathered line by
// line while it is read, then written in one replace.
class Change {
 public:
  Change() : bytes_(ReadEntryFileBytes()), reader_(bytes_), text_(reader_.data()) {}
  Change(const Change&) = delete;
  Change& operator=(const Change&) = delete;

  bool Next(FileLine& line) { return reader_.Next(line); }
  bool EveryLineAsWritten() const { return reader_.EveryLineAsWritten(); }
  bool Holds(const FileLine& line, const ExactName& name) { return name.HeldBy(line, scratch_); }
  // An old line kept: into the run when it stands as written, else written
  // anew after the run.
  void Keep(const FileLine& line, KeptRun& run) {
    if (line.as_written) {
      run.Extend(line);
    } else {
      run.HandTo(text_);
      text_.Keep(line, scratch_);
    }
  }
  NewFileText& text() { return text_; }
  void Save() { ReplaceFileContents(EntryFilePath(), text_.Pieces()); }

 private:
  ChangeLock lock_;  // taken before the read
  const std::string bytes_;
  WholeFileReader reader_;
  NewFileText text_;
  std::string scratch_;
};

// Overwrites the blocks whose header holds `name` exactly with `block`: the
// header and the seven lines after it give way to the block's eight lines
// (a block cut short by the end of the file is so completed). The lines a
// block replaced are not tested again: the new lines after a header are
// keyed lines, never headers. When `taken` is given, it is set when any line
// of the file as it was holds that name exactly.
int OverwriteBlocks(Change& change, const ExactName& name, const std::array<std::string, 8>& block,
                    const ExactName* taken_name = nullptr, bool* taken = nullptr) {
  int matched = 0;
  size_t overwritten = 0;  // old lines still to give way to the last block
  KeptRun run;
  FileLine line;
  while (change.Next(line)) {
    if (taken_name != nullptr && !*taken && change.Holds(line, *taken_name)) *taken = true;
    if (overwritten > 0) {
      --overwritten;
    } else if (change.Holds(line, name)) {
      run.HandTo(change.text());
      change.text().WriteBlock(block);
      overwritten = block.size() - 1;
      ++matched;
    } else {
      change.Keep(line, run);
    }
  }
  run.HandTo(change.text());
  return matched;
}

}  // namespace

std::string EntryFilePath() { return PluginDirectory() + kEntryFileName; }

const EntryValues& CurrentEntry() { return g_current; }

// For the tests, which declare it themselves: nothing in the plug-in needs
// the load-time state back.
void ResetCurrentEntry() { g_current = EntryValues{}; }

// For the tests too: how many lines of the right size an exact name is
// looked for in by unscrambling before its forms are made (0: at once).
// Returns the count that held before.
size_t SetCandidatesBeforeNameForms(size_t candidates) { return std::exchange(g_candidates_before_forms, candidates); }

bool ReadDialEntry(const std::string& name) {
  const std::string data = ReadEntryFileBytes();
  std::string wanted = "[";
  wanted += LowerAscii(name);
  wanted += ']';
  if (wanted.size() > kMaxLineBytes) return false;  // no stored line is that long
  LineReader reader(data);
  std::string_view line;
  while (reader.Next(line)) {
    // The plain line has the stored line's length: only lines of the right
    // length are unscrambled (and "[" is no letter, so only header lines
    // can pass).
    if (line.size() != wanted.size() || LowerAscii(UnscrambleLine(line, kScramblePasses)) != wanted) continue;
    std::string values[7];
    for (std::string& value : values) {
      // A line missing because the file ends reads as an empty line.
      value = reader.Next(line) ? ValueOf(UnscrambleLine(line, kScramblePasses)) : std::string();
    }
    EntryValues e;
    e.Login = std::move(values[0]);
    e.Password = std::move(values[1]);
    e.Domain = std::move(values[2]);
    e.Numbers = std::move(values[3]);
    e.Interval = ParseInteger(values[4]).value_or(0);
    e.Tries = ParseInteger(values[5]).value_or(1);
    e.Callback = std::move(values[6]);
    g_current = std::move(e);
    return true;
  }
  return false;
}

std::string ListEntryNames() {
  const std::string data = ReadEntryFileBytes();
  LineReader reader(data);
  std::string names;
  std::string_view line;
  while (reader.Next(line)) {
    if (!IsHeader(line)) continue;
    const std::string plain = UnscrambleLine(line, kScramblePasses);
    if (plain.size() > 2) names.append(plain, 1, plain.size() - 2);
    names.push_back(',');
  }
  if (!names.empty() && names.back() == ',') names.pop_back();
  return names;
}

void AppendDialEntry(const DialEntry& entry) {
  Change change;
  if (change.EveryLineAsWritten()) {
    change.text().KeepAll();  // nothing to write anew but the new lines
  } else {
    KeptRun run;
    FileLine line;
    while (change.Next(line)) change.Keep(line, run);
    run.HandTo(change.text());
  }
  change.text().WriteBlock(StoredBlock(entry));
  change.Save();
}

int ReplaceDialEntry(const DialEntry& entry) {
  Change change;
  const int matched = OverwriteBlocks(change, ExactName(entry.Name), StoredBlock(entry));
  change.Save();
  return matched;
}

int RenameDialEntry(const std::string& old_name, const DialEntry& entry) {
  Change change;
  bool taken = false;
  const ExactName new_name(entry.Name);
  const int matched = OverwriteBlocks(change, ExactName(old_name), StoredBlock(entry),
                                      entry.Name != old_name ? &new_name : nullptr, &taken);
  if (taken) return kNameTaken;
  if (matched > 0) change.Save();
  return matched;
}

int DeleteDialEntry(const std::string& name) {
  Change change;
  const ExactName exact(name);
  int matched = 0;
  // Every line of the file as it was is tested, also those inside a block
  // already removed: a header there removes its own eight lines too.
  size_t index = 0, removed_until = 0;
  KeptRun run;
  FileLine line;
  for (; change.Next(line); ++index) {
    if (change.Holds(line, exact)) {
      removed_until = std::max(removed_until, index + 8);
      ++matched;
    }
    if (index >= removed_until) {
      change.Keep(line, run);
    } else {
      run.HandTo(change.text());
    }
  }
  run.HandTo(change.text());
  change.Save();
  return matched;
}

bool HasExactEntry(const std::string& name) {
  const std::string bytes = ReadEntryFileBytes();
  WholeFileReader reader(bytes);
  const ExactName exact(name);
  std::string scratch;
  FileLine line;
  while (reader.Next(line)) {
    if (exact.HeldBy(line, scratch)) return true;
  }
  return false;
}

std::vector<std::string> PlainLinesFromFileText(const std::string& text) {
  WholeFileReader reader(text);
  std::string scratch;
  std::vector<std::string> plain;
  FileLine line;
  while (reader.Next(line)) plain.push_back(UnscrambleLine(WholeFileReader::Stored(line, scratch), kScramblePasses));
  return plain;
}

std::string FileTextFromPlainLines(const std::vector<std::string>& lines) {
  std::vector<std::string> stored;
  ScrambleLines(lines, stored);
  size_t size = 0;
  for (const std::string& line : stored) size += line.size() + 2;
  std::string text;
  text.reserve(size + size / 16);
  for (const std::string& line : stored) AppendFramedLine(text, line);
  return text;
}

bool EntryFileExists() {
  const std::string path = EntryFilePath();
  return FileExists(path) || FileExists(BackupPathOf(path));
}

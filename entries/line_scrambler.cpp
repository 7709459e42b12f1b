// The line scrambler. The bit-cell steps are written out as the format
// defines them; the line functions run the same passes on packed bytes,
// eight cells per byte, with small lookup tables, because every read of the
// entry file unscrambles every line.
#include "entries/line_scrambler.h"

#include <array>
#include <stdexcept>
#include <utility>

namespace {

void CheckArguments(std::string_view line, int passes) {
  if (passes < 1) throw std::invalid_argument("line scrambler: the pass count must be at least 1");
  if (line.size() > kMaxLineBytes) throw std::invalid_argument("line scrambler: a line holds at most 255 bytes");
}

// One forward pass over one byte: which of its eight cells go to the front
// part (the cell before them holds 0) and which to the back part. `carry` is
// the cell before the byte's first cell.
struct RouteStep {
  uint8_t front;          // front cells, first cell in bit 0
  uint8_t front_count;
  uint8_t back_reversed;  // back cells, first cell in the highest of back_count bits
  uint8_t back_count;
};

constexpr std::array<RouteStep, 512> MakeRouteTable() {
  std::array<RouteStep, 512> table{};
  for (int carry = 0; carry < 2; ++carry) {
    for (int v = 0; v < 256; ++v) {
      int before = carry;
      int front = 0, front_count = 0, back = 0, back_count = 0;
      for (int j = 0; j < 8; ++j) {
        const int bit = (v >> j) & 1;
        if (before != 0) {
          back = (back << 1) | bit;
          ++back_count;
        } else {
          front |= bit << front_count;
          ++front_count;
        }
        before = bit;
      }
      table[static_cast<size_t>(carry * 256 + v)] =
          RouteStep{static_cast<uint8_t>(front), static_cast<uint8_t>(front_count), static_cast<uint8_t>(back),
                    static_cast<uint8_t>(back_count)};
    }
  }
  return table;
}

// One inverse pass over six output cells: index (state, next six front
// cells, next six back cells in the order they are taken), where state is
// the cell rebuilt last. Entry: the six rebuilt cells in bits 0..5 and the
// number taken from the front in bits 6..8.
constexpr size_t kChunk = 6;
constexpr std::array<uint16_t, 2 << (2 * kChunk)> MakeUnrouteTable() {
  std::array<uint16_t, 2 << (2 * kChunk)> table{};
  constexpr int size = 1 << kChunk;
  for (int state = 0; state < 2; ++state) {
    for (int f = 0; f < size; ++f) {
      for (int k = 0; k < size; ++k) {
        int before = state, taken_front = 0, taken_back = 0, out = 0;
        for (int t = 0; t < static_cast<int>(kChunk); ++t) {
          const int bit = before != 0 ? (k >> taken_back++) & 1 : (f >> taken_front++) & 1;
          out |= bit << t;
          before = bit;
        }
        table[static_cast<size_t>((state << (2 * kChunk)) | (f << kChunk) | k)] =
            static_cast<uint16_t>(out | (taken_front << kChunk));
      }
    }
  }
  return table;
}

constexpr std::array<uint8_t, 256> MakeReverseTable() {
  std::array<uint8_t, 256> table{};
  for (int v = 0; v < 256; ++v) {
    int r = 0;
    for (int j = 0; j < 8; ++j) r |= ((v >> j) & 1) << (7 - j);
    table[static_cast<size_t>(v)] = static_cast<uint8_t>(r);
  }
  return table;
}

constexpr std::array<RouteStep, 512> kRoute = MakeRouteTable();
constexpr std::array<uint16_t, 2 << (2 * kChunk)> kUnroute = MakeUnrouteTable();
constexpr std::array<uint8_t, 256> kReverse = MakeReverseTable();

// Working buffers hold a line plus eight zero bytes, so that a 64-bit read
// at any byte of the line stays inside.
constexpr size_t kPadding = 8;
using Buffer = std::array<uint8_t, kMaxLineBytes + kPadding>;

uint64_t Load64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// One forward pass on packed cells: `in` (n bytes) to `out` (n bytes).
// Written without data-dependent branches: each step stores its partial
// byte and advances only when the byte is full.
void RoutePacked(const uint8_t* in, uint8_t* out, size_t n) {
  // The front part fills `out` upwards from cell 1; the back part, from cell
  // 8n downwards, is collected in `back_bytes` (first byte = highest) and
  // copied into place after the sweep. The two meet in one byte or on a
  // byte boundary.
  uint8_t back_bytes[kMaxLineBytes + 1];
  uint64_t front = 0, back = 0;
  unsigned front_bits = 0, back_bits = 0;
  size_t front_at = 0, back_at = 0;
  unsigned carry = 0;
  for (size_t i = 0; i < n; ++i) {
    const RouteStep s = kRoute[(carry << 8) | in[i]];
    carry = in[i] >> 7;
    front |= static_cast<uint64_t>(s.front) << front_bits;
    front_bits += s.front_count;
    out[front_at] = static_cast<uint8_t>(front);
    const unsigned front_full = front_bits >> 3;
    front_at += front_full;
    front >>= front_full << 3;
    front_bits &= 7;
    back = (back << s.back_count) | s.back_reversed;
    back_bits += s.back_count;
    back_bytes[back_at] = static_cast<uint8_t>((back << 8) >> back_bits);
    const unsigned back_full = back_bits >> 3;
    back_at += back_full;
    back_bits &= 7;
  }
  for (size_t j = 0; j < back_at; ++j) out[n - 1 - j] = back_bytes[j];
  if (front_bits != 0) {
    // front_bits + back_bits == 8: the low cells of the meeting byte are the
    // front's last ones, the high cells the back's last ones.
    const uint64_t back_part = back & ((1u << back_bits) - 1);
    out[front_at] = static_cast<uint8_t>((front & ((1u << front_bits) - 1)) | (back_part << front_bits));
  }
}

// Reads cells upwards from a padded buffer, kChunk at a time.
class CellReader {
 public:
  explicit CellReader(const uint8_t* buffer) : buffer_(buffer) { Refill(); }
  unsigned Next() const { return static_cast<unsigned>(bits_ & ((1u << kChunk) - 1)); }
  void Skip(unsigned count) {
    bits_ >>= count;
    at_ += count;
    held_ -= count;
    if (held_ < kChunk) Refill();
  }

 private:
  void Refill() {
    bits_ = Load64(buffer_ + (at_ >> 3)) >> (at_ & 7);
    held_ = 56;
  }
  const uint8_t* buffer_;
  uint64_t bits_ = 0;
  size_t at_ = 0;
  unsigned held_ = 0;
};

// One inverse pass on packed cells, producing at least the first
// `out_bytes` bytes of the result (it may write up to four bytes more, into
// the line or its padding). `in` must be zero-padded as a Buffer is;
// `reversed` is scratch of a Buffer's size.
void UnroutePacked(const uint8_t* in, uint8_t* out, size_t n, size_t out_bytes, uint8_t* reversed) {
  // The back part is taken from cell 8n downwards: reading the bit-reversed
  // line upwards gives the cells in that order. Together the two readers
  // take the 8n cells; a last chunk past them reads only padding.
  for (size_t i = 0; i < n; ++i) reversed[i] = kReverse[in[n - 1 - i]];
  for (size_t i = n; i < n + kPadding; ++i) reversed[i] = 0;
  CellReader front(in), back(reversed);
  unsigned state = 0;
  uint64_t done = 0;
  unsigned done_bits = 0;
  size_t written = 0;
  for (size_t cells = 0; cells < 8 * out_bytes; cells += kChunk) {
    const unsigned e = kUnroute[(state << (2 * kChunk)) | (front.Next() << kChunk) | back.Next()];
    const unsigned taken_front = e >> kChunk;
    front.Skip(taken_front);
    back.Skip(static_cast<unsigned>(kChunk) - taken_front);
    state = (e >> (kChunk - 1)) & 1;
    done |= static_cast<uint64_t>(e & ((1u << kChunk) - 1)) << done_bits;
    done_bits += kChunk;
    if (done_bits >= 32) {
      for (int b = 0; b < 4; ++b) out[written + static_cast<size_t>(b)] = static_cast<uint8_t>(done >> (8 * b));
      written += 4;
      done >>= 32;
      done_bits -= 32;
    }
  }
  for (; written < out_bytes; ++written, done >>= 8) out[written] = static_cast<uint8_t>(done);
}

// Runs `passes` inverse passes over the line in `x`, leaving the result in
// the returned buffer; the last pass produces only `last_bytes` bytes.
const uint8_t* UnrouteLine(Buffer& x, Buffer& y, Buffer& scratch, size_t n, int passes, size_t last_bytes) {
  uint8_t* in = x.data();
  uint8_t* out = y.data();
  for (int p = 0; p < passes; ++p) {
    const bool last = p + 1 == passes;
    UnroutePacked(in, out, n, last ? last_bytes : n, scratch.data());
    for (size_t i = n; i < n + kPadding; ++i) out[i] = 0;
    std::swap(in, out);
  }
  return in;
}

void LoadLine(Buffer& buffer, std::string_view line) {
  for (size_t i = 0; i < line.size(); ++i) buffer[i] = static_cast<uint8_t>(line[i]);
  for (size_t i = line.size(); i < line.size() + kPadding; ++i) buffer[i] = 0;
}

}  // namespace

std::string ScrambleLine(std::string_view line, int passes) {
  CheckArguments(line, passes);
  const size_t n = line.size();
  Buffer x, y;
  for (size_t i = 0; i < n; ++i) {
    x[i] = static_cast<uint8_t>(static_cast<uint8_t>(line[i]) ^ PositionMask(static_cast<int>(i) + 1));
  }
  uint8_t* in = x.data();
  uint8_t* out = y.data();
  for (int p = 0; p < passes; ++p) {
    RoutePacked(in, out, n);
    std::swap(in, out);
  }
  return std::string(reinterpret_cast<const char*>(in), n);
}

std::string UnscrambleLine(std::string_view line, int passes) {
  CheckArguments(line, passes);
  const size_t n = line.size();
  Buffer x, y, scratch;
  LoadLine(x, line);
  const uint8_t* plain = UnrouteLine(x, y, scratch, n, passes, n);
  std::string result(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    result[i] = static_cast<char>(plain[i] ^ PositionMask(static_cast<int>(i) + 1));
  }
  return result;
}

bool UnscrambledStartsWith(std::string_view line, char first, int passes) {
  CheckArguments(line, passes);
  if (line.empty()) return false;
  // Cell 1 follows the sentinel 0 in every pass and so stays in place: the
  // stored line's lowest bit is the XORed plain byte's lowest bit.
  const unsigned wanted = static_cast<uint8_t>(first) ^ PositionMask(1);
  if (((static_cast<uint8_t>(line[0]) ^ wanted) & 1) != 0) return false;
  Buffer x, y, scratch;
  LoadLine(x, line);
  const uint8_t* plain = UnrouteLine(x, y, scratch, line.size(), passes, 1);
  return plain[0] == wanted;
}

void ScrambleLines(const std::vector<std::string>& source, std::vector<std::string>& target) {
  target.clear();
  target.reserve(source.size());
  for (const std::string& line : source) {
    target.push_back(ScrambleLine(std::string_view(line).substr(0, kMaxLineBytes), kScramblePasses));
  }
}

std::vector<uint8_t> ExpandBits(std::string_view line) {
  std::vector<uint8_t> cells(8 * line.size() + 1, 0);
  for (size_t k = 0; k < line.size(); ++k) {
    const auto byte = static_cast<uint8_t>(line[k]);
    for (size_t j = 0; j < 8; ++j) cells[8 * k + 1 + j] = static_cast<uint8_t>((byte >> j) & 1);
  }
  return cells;
}

std::string PackBits(const std::vector<uint8_t>& cells) {
  const size_t n = cells.empty() ? 0 : (cells.size() - 1) / 8;
  std::string bytes(n, '\0');
  for (size_t k = 0; k < n; ++k) {
    unsigned byte = 0;
    for (size_t j = 0; j < 8; ++j) {
      if (cells[8 * k + 1 + j] != 0) byte |= 1u << j;
    }
    bytes[k] = static_cast<char>(byte);
  }
  return bytes;
}

void RouteBits(std::vector<uint8_t>& a, std::vector<uint8_t>& b) {
  const size_t cells = a.size() - 1;
  a[0] = 0;
  size_t front = 0, back = cells + 1;
  for (size_t c = 1; c <= cells; ++c) {
    if (a[c - 1] != 0) {
      b[--back] = a[c];
    } else {
      b[++front] = a[c];
    }
  }
  a = b;
}

void UnrouteBits(std::vector<uint8_t>& a, std::vector<uint8_t>& b) {
  const size_t cells = a.size() - 1;
  b[0] = 0;
  size_t front = 0, back = cells + 1;
  for (size_t c = 1; c <= cells; ++c) {
    if (b[c - 1] != 0) {
      b[c] = a[--back];
    } else {
      b[c] = a[++front];
    }
  }
  a = b;
}

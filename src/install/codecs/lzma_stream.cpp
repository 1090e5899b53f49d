#include "install/codecs/lzma_stream.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#if defined(__GNUC__)
#define LZMA_INLINE __attribute__((always_inline))
#define LZMA_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define LZMA_INLINE
#define LZMA_UNLIKELY(x) (x)
#endif

namespace codecs {
namespace {

constexpr uint32_t kTopValue = 1u << 24;
constexpr unsigned kProbBits = 11;
constexpr uint32_t kProbInit = 1u << (kProbBits - 1);
constexpr unsigned kMoveBits = 5;

constexpr unsigned kStates = 12;
constexpr unsigned kPosStatesMax = 16;
constexpr unsigned kEndPosModelIndex = 14;
constexpr unsigned kFullDistances = 128;
constexpr unsigned kAlignBits = 4;
constexpr unsigned kMatchMinLen = 2;
constexpr uint32_t kEndMarkerDistance = 0xFFFFFFFFu;

// Length coder: two choice bits, then a 3-bit tree per position state for
// the short lengths, a second one for the middle and an 8-bit tree.
constexpr unsigned kLenChoice = 0;
constexpr unsigned kLenChoice2 = 1;
constexpr unsigned kLenLow = 2;
constexpr unsigned kLenMid = kLenLow + kPosStatesMax * 8;
constexpr unsigned kLenHigh = kLenMid + kPosStatesMax * 8;
constexpr unsigned kLenCoderSize = kLenHigh + 256;

// Where each group of probabilities starts in the one table.
constexpr unsigned kIsMatch = 0;
constexpr unsigned kIsRep = kIsMatch + kStates * kPosStatesMax;
constexpr unsigned kIsRepG0 = kIsRep + kStates;
constexpr unsigned kIsRepG1 = kIsRepG0 + kStates;
constexpr unsigned kIsRepG2 = kIsRepG1 + kStates;
constexpr unsigned kIsRep0Long = kIsRepG2 + kStates;
constexpr unsigned kPosSlot = kIsRep0Long + kStates * kPosStatesMax;
constexpr unsigned kSpecPos = kPosSlot + 4 * 64;
constexpr unsigned kAlign = kSpecPos + 1 + kFullDistances - kEndPosModelIndex;
constexpr unsigned kMatchLen = kAlign + (1u << kAlignBits);
constexpr unsigned kRepLen = kMatchLen + kLenCoderSize;
constexpr unsigned kLiteral = kRepLen + kLenCoderSize;
constexpr unsigned kLiteralCoderSize = 0x300;

constexpr size_t kMinWindow = 4096;

void FreeWindow(void* p) { std::free(p); }

}  // namespace

LzmaProperties ParseLzmaProperties(const uint8_t bytes[5]) {
  unsigned d = bytes[0];
  if (d >= 9 * 5 * 5) throw DecodeError("LZMA properties out of range");
  LzmaProperties p;
  p.literalContextBits = d % 9;
  d /= 9;
  p.literalPositionBits = d % 5;
  p.positionBits = d / 5;
  p.dictionarySize = static_cast<uint32_t>(bytes[1]) | static_cast<uint32_t>(bytes[2]) << 8 |
                     static_cast<uint32_t>(bytes[3]) << 16 | static_cast<uint32_t>(bytes[4]) << 24;
  if (p.dictionarySize > kMaxDecoderMemory) throw DecodeError("LZMA dictionary too large");
  return p;
}

LzmaStream::LzmaStream(const LzmaProperties& properties, uint64_t outputSize, bool endMarker)
    : properties_(properties),
      outputSize_(outputSize),
      endMarker_(endMarker),
      windowSize_(0),
      window_(nullptr, FreeWindow) {
  if (properties.dictionarySize > kMaxDecoderMemory) throw DecodeError("LZMA dictionary too large");
  // The window never needs to hold more than the whole entry; a multiple of
  // 16 keeps the low bits of the window position equal to those of the
  // stream position.
  uint64_t need = std::min<uint64_t>(properties.dictionarySize, outputSize);
  need = std::max<uint64_t>(need, kMinWindow);
  need = (need + 15) & ~uint64_t{15};
  windowSize_ = static_cast<size_t>(need);
  window_.reset(static_cast<uint8_t*>(std::malloc(windowSize_)));
  if (!window_) throw std::bad_alloc();
  size_t probs = kLiteral + (kLiteralCoderSize << (properties.literalContextBits + properties.literalPositionBits));
  probabilities_.reset(new uint16_t[probs]);
  std::fill_n(probabilities_.get(), probs, static_cast<uint16_t>(kProbInit));
}

LzmaStream::~LzmaStream() = default;

void LzmaStream::Decode(RangeInput& input, ByteSink& sink) {
  if (outputSize_ == 0 && !endMarker_) return;

  if (input.Byte() != 0) throw DecodeError("LZMA stream does not start with a zero byte");
  uint32_t code = 0;
  for (int i = 0; i < 4; i++) code = code << 8 | input.Byte();
  uint32_t range = 0xFFFFFFFFu;
  if (code == range) throw DecodeError("LZMA stream damaged");

  RangeInput::Span span = input.Current();
  const uint8_t* in = span.cur;
  const uint8_t* inEnd = span.end;

  uint16_t* const probs = probabilities_.get();
  uint8_t* const win = window_.get();
  const size_t winSize = windowSize_;
  const unsigned lc = properties_.literalContextBits;
  const uint32_t lpMask = (1u << properties_.literalPositionBits) - 1;
  const uint32_t pbMask = (1u << properties_.positionBits) - 1;
  const uint64_t outputSize = outputSize_;
  const bool endMarker = endMarker_;

  size_t pos = 0;       // next write in the window
  uint64_t base = 0;    // stream position of window[0]
  bool full = false;    // whether the window has wrapped once
  size_t posLimit = 0;  // where the next wrap or the end of the output is
  win[winSize - 1] = 0;  // the byte "before" the stream for the first literal

  uint32_t rep0 = 0, rep1 = 0, rep2 = 0, rep3 = 0;
  unsigned state = 0;

  auto nextByte = [&]() LZMA_INLINE -> uint32_t {
    if (LZMA_UNLIKELY(in == inEnd)) {
      RangeInput::Span s = input.Refill(in);
      in = s.cur;
      inEnd = s.end;
    }
    return *in++;
  };
  auto normalize = [&]() LZMA_INLINE {
    if (range < kTopValue) {
      range <<= 8;
      code = (code << 8) | nextByte();
    }
  };
  auto bit = [&](uint16_t* p) LZMA_INLINE -> unsigned {
    normalize();
    uint32_t prob = *p;
    uint32_t bound = (range >> kProbBits) * prob;
    if (code < bound) {
      range = bound;
      *p = static_cast<uint16_t>(prob + (((1u << kProbBits) - prob) >> kMoveBits));
      return 0;
    }
    range -= bound;
    code -= bound;
    *p = static_cast<uint16_t>(prob - (prob >> kMoveBits));
    return 1;
  };
  auto tree = [&](uint16_t* p, unsigned bits) LZMA_INLINE -> unsigned {
    unsigned m = 1;
    for (unsigned i = 0; i < bits; i++) m = (m << 1) + bit(p + m);
    return m - (1u << bits);
  };
  auto reverseTree = [&](uint16_t* p, unsigned bits) LZMA_INLINE -> unsigned {
    unsigned m = 1, symbol = 0;
    for (unsigned i = 0; i < bits; i++) {
      unsigned b = bit(p + m);
      m = (m << 1) + b;
      symbol |= b << i;
    }
    return symbol;
  };
  auto length = [&](uint16_t* p, unsigned posState) LZMA_INLINE -> unsigned {
    if (bit(p + kLenChoice) == 0) return tree(p + kLenLow + posState * 8, 3);
    if (bit(p + kLenChoice2) == 0) return 8 + tree(p + kLenMid + posState * 8, 3);
    return 16 + tree(p + kLenHigh, 8);
  };
  // At a wrap of the window or at the end of the output: hands a full
  // window to the sink and works out the next limit. Returns false once the
  // declared output is complete.
  auto reachLimit = [&]() -> bool {
    uint64_t done = base + pos;
    if (done > outputSize) throw DecodeError("LZMA stream yields more data than the entry holds");
    if (pos == winSize) {
      sink.Write(win, winSize);
      base += winSize;
      pos = 0;
      full = true;
    }
    posLimit = static_cast<size_t>(std::min<uint64_t>(winSize, outputSize - base));
    return done < outputSize;
  };

  for (;;) {
    if (LZMA_UNLIKELY(pos >= posLimit)) {
      if (!reachLimit()) {
        if (!endMarker) break;
        // The declared output is complete: only the end marker may follow;
        // anything else overruns and is caught at the next limit.
      }
    }
    const unsigned posState = static_cast<unsigned>(pos) & pbMask;

    if (bit(probs + kIsMatch + state * kPosStatesMax + posState) == 0) {
      unsigned prev = win[(pos == 0 ? winSize : pos) - 1];
      uint16_t* lit = probs + kLiteral +
                      kLiteralCoderSize * ((((static_cast<unsigned>(pos) & lpMask) << lc) + (prev >> (8 - lc))));
      unsigned symbol = 1;
      if (state >= 7) {
        size_t src = pos > rep0 ? pos - rep0 - 1 : pos + winSize - rep0 - 1;
        unsigned match = win[src];
        // Follow the byte at rep0 while the decoded bits agree with it.
        do {
          unsigned matchBit = (match >> 7) & 1;
          match <<= 1;
          unsigned b = bit(lit + ((1 + matchBit) << 8) + symbol);
          symbol = (symbol << 1) | b;
          if (matchBit != b) break;
        } while (symbol < 0x100);
      }
      while (symbol < 0x100) symbol = (symbol << 1) | bit(lit + symbol);
      win[pos++] = static_cast<uint8_t>(symbol);
      state = state < 4 ? 0 : (state < 10 ? state - 3 : state - 6);
      continue;
    }

    unsigned len;
    if (bit(probs + kIsRep + state) == 0) {
      len = length(probs + kMatchLen, posState);
      state = state < 7 ? 7 : 10;
      rep3 = rep2;
      rep2 = rep1;
      rep1 = rep0;
      unsigned lenState = len < 3 ? len : 3;
      unsigned slot = tree(probs + kPosSlot + lenState * 64, 6);
      uint32_t dist;
      if (slot < 4) {
        dist = slot;
      } else {
        unsigned direct = (slot >> 1) - 1;
        dist = (2u | (slot & 1)) << direct;
        if (slot < kEndPosModelIndex) {
          dist += reverseTree(probs + kSpecPos + dist - slot, direct);
        } else {
          uint32_t extra = 0;
          for (unsigned i = direct - kAlignBits; i != 0; i--) {
            normalize();
            range >>= 1;
            code -= range;
            uint32_t t = 0u - (code >> 31);  // all ones when the bit is 0
            code += range & t;
            extra = (extra << 1) + (t + 1);
          }
          dist += extra << kAlignBits;
          dist += reverseTree(probs + kAlign, kAlignBits);
          if (dist == kEndMarkerDistance) {
            normalize();
            if (base + pos != outputSize) throw DecodeError("LZMA end marker before the end of the entry");
            if (code != 0) throw DecodeError("LZMA stream damaged at its end");
            input.Advance(in);
            sink.Write(win, pos);
            return;
          }
        }
      }
      if (dist >= (full ? winSize : pos)) throw DecodeError("LZMA match distance out of range");
      rep0 = dist;
    } else {
      if (!full && pos == 0) throw DecodeError("LZMA repeated match at the start of the stream");
      if (bit(probs + kIsRepG0 + state) == 0) {
        if (bit(probs + kIsRep0Long + state * kPosStatesMax + posState) == 0) {
          state = state < 7 ? 9 : 11;
          size_t src = pos > rep0 ? pos - rep0 - 1 : pos + winSize - rep0 - 1;
          win[pos] = win[src];
          pos++;
          continue;
        }
      } else {
        uint32_t dist;
        if (bit(probs + kIsRepG1 + state) == 0) {
          dist = rep1;
        } else {
          if (bit(probs + kIsRepG2 + state) == 0) {
            dist = rep2;
          } else {
            dist = rep3;
            rep3 = rep2;
          }
          rep2 = rep1;
        }
        rep1 = rep0;
        rep0 = dist;
      }
      len = length(probs + kRepLen, posState);
      state = state < 7 ? 8 : 11;
    }

    // Copy the match: straight when it neither wraps nor passes the limit.
    size_t n = len + kMatchMinLen;
    size_t src = pos > rep0 ? pos - rep0 - 1 : pos + winSize - rep0 - 1;
    if (n <= posLimit - pos && n <= winSize - src) {
      uint8_t* d = win + pos;
      const uint8_t* s = win + src;
      pos += n;
      do {
        *d++ = *s++;
      } while (--n);
    } else {
      while (n != 0) {
        if (pos >= posLimit && !reachLimit())
          throw DecodeError("LZMA stream yields more data than the entry holds");
        win[pos++] = win[src++];
        if (src == winSize) src = 0;
        n--;
      }
    }
  }

  input.Advance(in);
  sink.Write(win, pos);
}

}  // namespace codecs

#include "install/codecs/deflate64_inflater.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace codecs::deflate64 {
namespace {

constexpr uint64_t LowBits(unsigned count) { return (uint64_t{1} << count) - 1; }

// Copies a match of `length` bytes from `distance` bytes back. May write up to
// 15 bytes past the end of the match.
inline void CopyMatch(uint8_t* dst, uint32_t distance, uint32_t length) {
  uint8_t* const end = dst + length;
  if (distance >= 16) {
    const uint8_t* src = dst - distance;
    do {
      std::memcpy(dst, src, 16);
      dst += 16;
      src += 16;
    } while (dst < end);
  } else if (distance >= 8) {
    const uint8_t* src = dst - distance;
    do {
      std::memcpy(dst, src, 8);
      dst += 8;
      src += 8;
    } while (dst < end);
  } else if (distance == 1) {
    std::memset(dst, dst[-1], length);
  } else {
    // The match repeats a pattern of `distance` bytes. Once a few bytes are
    // written one by one, whole words can be copied from a multiple of the
    // pattern's length back, which is at least 8 bytes.
    const uint32_t step = distance * ((8 + distance - 1) / distance);
    uint8_t* const bytewise_end = dst + std::min(length, step - distance);
    while (dst < bytewise_end) {
      *dst = dst[-static_cast<std::ptrdiff_t>(distance)];
      ++dst;
    }
    while (dst < end) {
      std::memcpy(dst, dst - step, 8);
      dst += 8;
    }
  }
}

}  // namespace

Inflater::Inflater(ByteSource& source, ByteSink& sink)
    : sink_(sink),
      input_(source),
      in_(input_.Begin()),
      buffer_(new uint8_t[kBufferSize]),
      litlen_table_(new uint32_t[kLitLenTableSize]),
      dist_table_(new uint32_t[kDistTableSize]) {
  out_ = buffer_.get() + kWindowSize;
  history_ = out_;
}

void Inflater::EnsureBits(unsigned count) {
  if (count_ >= count) return;
  if (in_ > input_.Limit()) in_ = input_.Refill(in_);
  bits_ |= LoadLittleEndian64(in_) << count_;
  in_ += (63 - count_) >> 3;
  count_ |= 56;
}

uint32_t Inflater::TakeBits(unsigned count) {
  EnsureBits(count);
  const auto value = static_cast<uint32_t>(bits_ & LowBits(count));
  bits_ >>= count;
  count_ -= count;
  return value;
}

void Inflater::Run() {
  bool final_block = false;
  while (!final_block) {
    final_block = TakeBits(1) != 0;
    switch (TakeBits(2)) {
      case 0:
        ReadStoredBlock();
        break;
      case 1:
        UseFixedCodes();
        DecodeCompressedBlock();
        break;
      case 2:
        ReadDynamicCodes();
        DecodeCompressedBlock();
        break;
      default:
        throw DecodeError("bad block type");
    }
  }
  input_.CheckConsumed(input_.Offset(in_) * 8 - count_);
  Flush();
}

void Inflater::Flush() {
  uint8_t* const start = buffer_.get() + kWindowSize;
  if (out_ > start) sink_.Write(start, static_cast<size_t>(out_ - start));
  const size_t keep = std::min(static_cast<size_t>(out_ - history_), kWindowSize);
  std::memmove(start - keep, out_ - keep, keep);
  history_ = start - keep;
  out_ = start;
}

void Inflater::ReadStoredBlock() {
  const unsigned partial = count_ & 7;
  bits_ >>= partial;
  count_ -= partial;
  const uint32_t length = TakeBits(16);
  if (length != (~TakeBits(16) & 0xffff)) throw DecodeError("bad stored block length");
  uint8_t* const piece_end = buffer_.get() + kWindowSize + kPieceSize;

  uint32_t left = length;
  while (left > 0 && count_ >= 8) {  // whole bytes already taken into bits_
    if (out_ >= piece_end) Flush();
    *out_++ = static_cast<uint8_t>(bits_);
    bits_ >>= 8;
    count_ -= 8;
    --left;
  }
  if (left == 0) return;
  bits_ = 0;  // drop the look-ahead: the bytes are copied straight from in_
  while (left > 0) {
    if (out_ >= piece_end) Flush();
    size_t available = input_.Available(in_);
    if (available == 0) {
      if (input_.SourceDone()) throw DecodeError("compressed data is cut short");
      in_ = input_.Refill(in_);
      continue;
    }
    const size_t room = static_cast<size_t>(piece_end + kMaxMatchLength - out_);
    const size_t n = std::min({static_cast<size_t>(left), available, room});
    std::memcpy(out_, in_, n);
    out_ += n;
    in_ += n;
    left -= static_cast<uint32_t>(n);
  }
}

void Inflater::UseFixedCodes() {
  if (fixed_codes_loaded_) return;
  uint8_t lengths[kMaxLitLenSymbols + kMaxDistSymbols];
  std::fill(lengths, lengths + 144, uint8_t{8});
  std::fill(lengths + 144, lengths + 256, uint8_t{9});
  std::fill(lengths + 256, lengths + 280, uint8_t{7});
  std::fill(lengths + 280, lengths + 288, uint8_t{8});
  std::fill(lengths + 288, lengths + 320, uint8_t{5});
  BuildTable(lengths, kMaxLitLenSymbols, kSymbols.litlen.data(), kLitLenPrimaryBits, litlen_table_.get(),
             kLitLenTableSize);
  BuildTable(lengths + kMaxLitLenSymbols, kMaxDistSymbols, kSymbols.dist.data(), kDistPrimaryBits,
             dist_table_.get(), kDistTableSize);
  fixed_codes_loaded_ = true;
}

void Inflater::ReadDynamicCodes() {
  fixed_codes_loaded_ = false;
  const uint32_t litlen_count = TakeBits(5) + 257;
  const uint32_t dist_count = TakeBits(5) + 1;
  const uint32_t precode_count = TakeBits(4) + 4;

  uint8_t precode_lengths[kPrecodeSymbols] = {};
  for (uint32_t i = 0; i < precode_count; ++i)
    precode_lengths[kPrecodeOrder[i]] = static_cast<uint8_t>(TakeBits(3));
  uint32_t precode_table[kPrecodeTableSize];
  BuildTable(precode_lengths, kPrecodeSymbols, kSymbols.precode.data(), kPrecodePrimaryBits, precode_table,
             kPrecodeTableSize);

  uint8_t lengths[kMaxLitLenSymbols + kMaxDistSymbols];
  const uint32_t total = litlen_count + dist_count;
  uint32_t i = 0;
  while (i < total) {
    EnsureBits(kPrecodePrimaryBits);
    const uint32_t e = precode_table[bits_ & LowBits(kPrecodePrimaryBits)];
    if (e & entry::kSpecial) throw DecodeError("bad code length code");
    bits_ >>= e & entry::kConsumeMask;
    count_ -= e & entry::kConsumeMask;
    const uint32_t symbol = e >> entry::kValueShift;
    if (symbol < 16) {
      lengths[i++] = static_cast<uint8_t>(symbol);
      continue;
    }
    uint8_t value = 0;
    uint32_t repeat;
    if (symbol == 16) {
      if (i == 0) throw DecodeError("code length repeat without a previous length");
      value = lengths[i - 1];
      repeat = 3 + TakeBits(2);
    } else if (symbol == 17) {
      repeat = 3 + TakeBits(3);
    } else {
      repeat = 11 + TakeBits(7);
    }
    if (repeat > total - i) throw DecodeError("code lengths overflow");
    std::memset(lengths + i, value, repeat);
    i += repeat;
  }
  if (lengths[kEndOfBlockSymbol] == 0) throw DecodeError("no end-of-block code");
  BuildTable(lengths, litlen_count, kSymbols.litlen.data(), kLitLenPrimaryBits, litlen_table_.get(),
             kLitLenTableSize);
  BuildTable(lengths + litlen_count, dist_count, kSymbols.dist.data(), kDistPrimaryBits, dist_table_.get(),
             kDistTableSize);
}

void Inflater::DecodeCompressedBlock() {
  // The hot loop works on local copies of the reader and writer state, so
  // that they stay in registers.
  uint64_t bits = bits_;
  unsigned count = count_;
  const uint8_t* in = in_;
  const uint8_t* in_limit = input_.Limit();
  uint8_t* out = out_;
  const uint8_t* history = history_;
  uint8_t* const piece_end = buffer_.get() + kWindowSize + kPieceSize;
  const uint32_t* const litlen = litlen_table_.get();
  const uint32_t* const dist = dist_table_.get();

  const auto refill = [&] {
    bits |= LoadLittleEndian64(in) << count;
    in += (63 - count) >> 3;
    count |= 56;
  };
  const auto consume = [&](uint32_t n) {
    bits >>= n;
    count -= n;
  };

  for (;;) {
    if (in > in_limit) [[unlikely]] {
      in = input_.Refill(in);
      in_limit = input_.Limit();
    }
    if (out >= piece_end) [[unlikely]] {
      out_ = out;
      Flush();
      out = out_;
      history = history_;
    }
    refill();

    uint32_t e = litlen[bits & LowBits(kLitLenPrimaryBits)];
    if (e & entry::kSubtable) [[unlikely]] {
      e = litlen[(e >> entry::kValueShift) +
                 ((bits >> kLitLenPrimaryBits) & LowBits((e >> entry::kExtraShift) & entry::kExtraMask))];
    }
    consume(e & entry::kConsumeMask);
    if (e & entry::kLiteral) {
      *out++ = static_cast<uint8_t>(e >> entry::kValueShift);
      continue;
    }
    if (e & entry::kSpecial) [[unlikely]] {
      if ((e >> entry::kValueShift) == 0) break;  // end of block
      throw DecodeError("bad literal/length code");
    }
    uint32_t extra = (e >> entry::kExtraShift) & entry::kExtraMask;
    const uint32_t length = (e >> entry::kValueShift) + static_cast<uint32_t>(bits & LowBits(extra));
    consume(extra);

    // A distance code and its extra bits take up to 29 bits.
    if (count < 29) [[unlikely]] {
      if (in > in_limit) {
        in = input_.Refill(in);
        in_limit = input_.Limit();
      }
      refill();
    }
    e = dist[bits & LowBits(kDistPrimaryBits)];
    if (e & entry::kSubtable) [[unlikely]] {
      e = dist[(e >> entry::kValueShift) +
               ((bits >> kDistPrimaryBits) & LowBits((e >> entry::kExtraShift) & entry::kExtraMask))];
    }
    if (e & entry::kSpecial) [[unlikely]] throw DecodeError("bad distance code");
    consume(e & entry::kConsumeMask);
    extra = (e >> entry::kExtraShift) & entry::kExtraMask;
    const uint32_t distance = (e >> entry::kValueShift) + static_cast<uint32_t>(bits & LowBits(extra));
    consume(extra);
    if (distance > static_cast<size_t>(out - history)) [[unlikely]]
      throw DecodeError("match reaches before the start of the data");
    CopyMatch(out, distance, length);
    out += length;
  }

  bits_ = bits;
  count_ = count;
  in_ = in;
  out_ = out;
}

}  // namespace codecs::deflate64

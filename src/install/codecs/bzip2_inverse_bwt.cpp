#include "install/codecs/bzip2_inverse_bwt.h"

#include <algorithm>
#include <cstring>

#include "install/codecs/decoder.h"

namespace codecs::bzip2 {
namespace {

// A word: the byte in bits 0-7, the link to the next row in bits 8-27, and a
// mark on rows where a segment starts.
constexpr uint32_t kRowMask = 0xfffff;
constexpr uint32_t kSegmentStart = 1u << 31;

}  // namespace

InverseBwt::InverseBwt(uint32_t max_block_size) {
  // Each chunk is full except the last one of each segment.
  const uint32_t max_chunks = max_block_size / kChunkSize + kMaxSegments + 1;
  arena_.reset(new uint8_t[size_t{max_chunks} * kChunkSize]);
  chunks_.reset(new Chunk[max_chunks]);
}

void InverseBwt::Start(uint32_t* words, uint32_t size, const std::array<uint32_t, 256>& counts,
                       uint32_t origin) {
  // The k-th occurrence of a byte value in the block (the last column of the
  // sorted rotations) is the k-th occurrence of that value in the first
  // column; link each row to the row of the following rotation.
  std::array<uint32_t, 256> next;
  uint32_t sum = 0;
  for (size_t c = 0; c < 256; ++c) {
    next[c] = sum;
    sum += counts[c];
  }
  for (uint32_t i = 0; i < size; ++i) {
    const uint32_t c = words[i] & 0xff;
    words[next[c]++] |= i << 8;
  }
  words_ = words;
  size_ = size;
  ChooseSegments((words[origin] >> 8) & kRowMask);
  WalkSegments();
  CheckChain();
  left_ = size;
  segment_ = 0;
  chunk_ = segments_[0].first_chunk;
  offset_ = 0;
  last_ = 256;
  same_ = 0;
}

void InverseBwt::ChooseSegments(uint32_t first_row) {
  uint32_t* const words = const_cast<uint32_t*>(words_);
  const uint32_t wanted = std::clamp<uint32_t>(size_ / kRowsPerSegment, 1, kMaxSegments);
  segment_count_ = 0;
  for (uint32_t i = 0; i < wanted; ++i) {
    const uint32_t row = i == 0 ? first_row : static_cast<uint32_t>(uint64_t{i} * size_ / wanted);
    if (words[row] & kSegmentStart) continue;
    words[row] |= kSegmentStart;
    segments_[segment_count_] = {row, kNone, kNone};
    segment_of_row_[segment_count_] = {row, segment_count_};
    ++segment_count_;
  }
  std::sort(segment_of_row_.begin(), segment_of_row_.begin() + segment_count_);
  arena_used_ = 0;
  chunk_count_ = 0;
  next_unstarted_ = 0;
}

void InverseBwt::NextChunk(Walker& w) {
  const uint32_t c = chunk_count_++;
  chunks_[c] = {arena_used_, 0, kNone};
  if (w.chunk != kNone) {
    chunks_[w.chunk].length = static_cast<uint32_t>(w.out - (arena_.get() + chunks_[w.chunk].begin));
    chunks_[w.chunk].next = c;
  }
  w.chunk = c;
  w.out = arena_.get() + arena_used_;
  w.end = w.out + kChunkSize;
  arena_used_ += kChunkSize;
}

bool InverseBwt::BeginSegment(Walker& w) {
  if (next_unstarted_ == segment_count_) return false;
  w.segment = next_unstarted_++;
  w.chunk = kNone;
  NextChunk(w);
  segments_[w.segment].first_chunk = w.chunk;
  // The start row itself carries the mark; take its byte before watching
  // for marks.
  const uint32_t word = words_[segments_[w.segment].start_row];
  *w.out++ = static_cast<uint8_t>(word);
  w.row = (word >> 8) & kRowMask;
  return true;
}

bool InverseBwt::EndSegment(Walker& w) {
  chunks_[w.chunk].length = static_cast<uint32_t>(w.out - (arena_.get() + chunks_[w.chunk].begin));
  const auto found = std::lower_bound(segment_of_row_.begin(), segment_of_row_.begin() + segment_count_,
                                      std::pair<uint32_t, uint32_t>{w.row, 0});
  segments_[w.segment].next = found->second;
  return BeginSegment(w);
}

void InverseBwt::WalkSegments() {
  const uint32_t* const words = words_;
  // One step of a walker; false when it ran out of segments.
  const auto step = [&](Walker& w) -> bool {
    const uint32_t word = words[w.row];
    if (word & kSegmentStart) [[unlikely]]
      return EndSegment(w);
    *w.out++ = static_cast<uint8_t>(word);
    w.row = (word >> 8) & kRowMask;
    if (w.out == w.end) [[unlikely]]
      NextChunk(w);
    return true;
  };

  Walker walkers[kWalkers];
  uint32_t active = 0;
  while (active < kWalkers && BeginSegment(walkers[active])) ++active;
  if (active == kWalkers) {
    bool all_busy = true;
    while (all_busy) {
#pragma GCC unroll 8
      for (uint32_t k = 0; k < kWalkers; ++k) all_busy &= step(walkers[k]);
    }
  }
  // No segment is left to start: finish the ones in progress one by one. A
  // step of a walker that has already ended its segment changes nothing.
  for (uint32_t k = 0; k < active; ++k) {
    while (step(walkers[k])) {
    }
  }
}

void InverseBwt::CheckChain() const {
  // Each start row is reached from one segment only, so this holds unless
  // the walk went wrong.
  uint32_t segment = 0;
  for (uint32_t visited = 0; visited < segment_count_; ++visited) {
    segment = segments_[segment].next;
    if (segment == 0 || segment == kNone) break;
  }
  if (segment != 0) throw DecodeError("broken links in block");
}

uint8_t* InverseBwt::Emit(uint8_t* out, const uint8_t* out_end) {
  uint32_t last = last_;
  uint32_t same = same_;
  while (left_ != 0) {
    const Chunk& chunk = chunks_[chunk_];
    const uint8_t* const start = arena_.get() + chunk.begin + offset_;
    const uint8_t* const end = start + std::min(chunk.length - offset_, left_);
    const uint8_t* p = start;
    while (p != end && out_end - out >= static_cast<std::ptrdiff_t>(kMaxStep)) {
      const uint32_t byte = *p++;
      if (same == 4) {  // the count after four equal bytes
        std::memset(out, static_cast<int>(last), byte);
        out += byte;
        same = 0;
        continue;
      }
      *out++ = static_cast<uint8_t>(byte);
      same = byte == last ? same + 1 : 1;
      last = byte;
    }
    const auto taken = static_cast<uint32_t>(p - start);
    left_ -= taken;
    offset_ += taken;
    if (p != end || left_ == 0) break;  // output full, or block done
    // On to the next chunk; the last segment's successor is the first.
    offset_ = 0;
    if (chunk.next != kNone) {
      chunk_ = chunk.next;
    } else {
      segment_ = segments_[segment_].next;
      chunk_ = segments_[segment_].first_chunk;
    }
  }
  last_ = last;
  same_ = same;
  return out;
}

}  // namespace codecs::bzip2

#pragma once
// Undoes the Burrows-Wheeler transform of a bzip2 block and then the initial
// run-length coding (four equal bytes followed by a count of further copies).
//
// Following the transform's links is one long chain of dependent memory
// loads, which would leave the processor waiting for memory at every byte.
// So the chain is cut at a few hundred rows into segments; several segments
// are followed at the same time, which keeps several loads in flight, and
// their bytes are then read out in chain order. The run-length decoding can
// be taken in pieces, since a block of 900k can expand a lot.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace codecs::bzip2 {

class InverseBwt {
 public:
  explicit InverseBwt(uint32_t max_block_size);

  // words[0 .. size) hold the block's bytes in their low 8 bits; the upper
  // bits are filled in here with the links of the transform. Follows all of
  // the links at once.
  void Start(uint32_t* words, uint32_t size, const std::array<uint32_t, 256>& counts, uint32_t origin);

  // Writes decoded bytes from `out` on and returns the end of what it wrote.
  // Stops when the block is done or fewer than kMaxStep bytes of room remain.
  uint8_t* Emit(uint8_t* out, const uint8_t* out_end);
  bool Done() const { return left_ == 0; }

  static constexpr uint32_t kMaxStep = 255;

 private:
  static constexpr uint32_t kMaxSegments = 256;
  static constexpr uint32_t kRowsPerSegment = 2048;  // fewer segments for small blocks
  static constexpr uint32_t kChunkSize = 1024;
  static constexpr uint32_t kWalkers = 6;
  static constexpr uint32_t kNone = UINT32_MAX;

  struct Segment {
    uint32_t start_row;
    uint32_t first_chunk;
    uint32_t next;  // the segment that follows in the chain
  };
  struct Chunk {
    uint32_t begin;   // in arena_
    uint32_t length;
    uint32_t next;
  };
  struct Walker {
    uint32_t row;
    uint32_t segment;
    uint32_t chunk;
    uint8_t* out;
    uint8_t* end;
  };

  void ChooseSegments(uint32_t first_row);
  void WalkSegments();
  bool BeginSegment(Walker& w);
  bool EndSegment(Walker& w);
  void NextChunk(Walker& w);
  void CheckChain() const;  // the chain from the first row comes back to it

  const uint32_t* words_ = nullptr;
  uint32_t size_ = 0;
  std::unique_ptr<uint8_t[]> arena_;
  uint32_t arena_used_ = 0;
  std::unique_ptr<Chunk[]> chunks_;
  uint32_t chunk_count_ = 0;
  std::array<Segment, kMaxSegments> segments_;
  uint32_t segment_count_ = 0;
  uint32_t next_unstarted_ = 0;
  std::array<std::pair<uint32_t, uint32_t>, kMaxSegments> segment_of_row_;  // sorted by row

  // Read-out position and run-length state. A block whose rotations repeat
  // (its bytes are a pattern repeated a whole number of times) has links
  // that cycle through one period only; reading then goes round that cycle
  // until the block's length is reached.
  uint32_t left_ = 0;  // bytes of the block still to read out
  uint32_t segment_ = 0;
  uint32_t chunk_ = 0;
  uint32_t offset_ = 0;  // in the current chunk
  uint32_t last_ = 256;  // previous byte, 256 at the start of a run
  uint32_t same_ = 0;    // how many equal bytes in a row ended with last_
};

}  // namespace codecs::bzip2

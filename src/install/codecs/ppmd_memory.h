#pragma once
// The memory of a PPMd var.I model: one block that holds the text area at
// its bottom and the contexts and symbol lists in 12-byte units above it,
// with free lists per block size. The model's behaviour when this memory
// runs full is part of the format, so the allocation strategy is exact:
// which block a request gets decides when the model restarts or is cut.
//
// References inside the block are 32-bit offsets from its base; 0 is null.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace codecs {

#pragma pack(push, 1)
struct PpmdState {
  uint8_t symbol;
  uint8_t freq;
  uint16_t successorLow;
  uint16_t successorHigh;

  uint32_t Successor() const { return successorLow | static_cast<uint32_t>(successorHigh) << 16; }
  void SetSuccessor(uint32_t v) {
    successorLow = static_cast<uint16_t>(v);
    successorHigh = static_cast<uint16_t>(v >> 16);
  }
};

struct PpmdContext {
  uint8_t numStats;  // symbols in the context, less one
  uint8_t flags;
  uint16_t summFreq;
  uint32_t stats;  // with one symbol, its state lives in summFreq and stats
  uint32_t suffix;

  PpmdState* OneState() { return reinterpret_cast<PpmdState*>(&summFreq); }
};

struct PpmdNode {  // a free block
  uint32_t stamp;
  uint32_t next;
  uint32_t nu;  // size in units
};
#pragma pack(pop)

static_assert(sizeof(PpmdState) == 6 && sizeof(PpmdContext) == 12 && sizeof(PpmdNode) == 12);

class PpmdMemory {
 public:
  static constexpr unsigned kUnitSize = 12;
  static constexpr unsigned kNumIndexes = 38;

  explicit PpmdMemory(uint32_t size);

  uint8_t* Base() const { return base_.get(); }
  uint32_t Size() const { return size_; }
  template <class T>
  T* At(uint32_t ref) const {
    return reinterpret_cast<T*>(base_.get() + ref);
  }
  uint32_t Ref(const void* p) const { return static_cast<uint32_t>(static_cast<const uint8_t*>(p) - base_.get()); }

  // Empties the whole block: the text area starts at the bottom, the units
  // take the top seven eighths.
  void Reset();

  // Block sizes in units, by index, and back.
  unsigned IndexToUnits(unsigned index) const { return indexToUnits_[index]; }
  unsigned UnitsToIndex(unsigned nu) const { return unitsToIndex_[nu - 1]; }

  void* AllocUnits(unsigned index) {
    if (freeList_[index] != 0) return RemoveNode(index);
    uint32_t bytes = IndexToUnits(index) * kUnitSize;
    if (bytes <= static_cast<uint32_t>(hiUnit_ - loUnit_)) {
      void* p = loUnit_;
      loUnit_ += bytes;
      return p;
    }
    return AllocUnitsRare(index);
  }
  // A single unit for a new context, taken from the top.
  void* AllocContext() {
    if (hiUnit_ != loUnit_) return hiUnit_ -= kUnitSize;
    if (freeList_[0] != 0) return RemoveNode(0);
    return AllocUnitsRare(0);
  }
  void* AllocUnitsRare(unsigned index);
  void* ShrinkUnits(void* oldPtr, unsigned oldNu, unsigned newNu);
  void FreeUnits(void* p, unsigned nu) { InsertNode(p, UnitsToIndex(nu)); }
  void SpecialFreeUnit(void* p);
  void* MoveUnitsUp(void* oldPtr, unsigned nu);
  void ExpandTextArea();
  void InsertNode(void* p, unsigned index);
  void* RemoveNode(unsigned index);
  uint32_t UsedMemory() const;

  static void CopyUnits(void* dest, const void* src, unsigned nu);

  // The text area grows upwards from textStart_ towards unitsStart_.
  uint8_t* textStart_ = nullptr;
  uint8_t* text_ = nullptr;
  uint8_t* unitsStart_ = nullptr;
  uint8_t* loUnit_ = nullptr;
  uint8_t* hiUnit_ = nullptr;
  uint32_t glueCount_ = 0;

 private:
  void SplitBlock(void* p, unsigned oldIndex, unsigned newIndex);
  void GlueFreeBlocks();

  std::unique_ptr<uint8_t, void (*)(void*)> base_;
  uint32_t size_;
  uint8_t indexToUnits_[kNumIndexes];
  uint8_t unitsToIndex_[128];
  uint32_t freeList_[kNumIndexes];
  uint32_t stamps_[kNumIndexes];
};

}  // namespace codecs

#include "install/codecs/ppmd_memory.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace codecs {
namespace {

constexpr uint32_t kEmptyNode = 0xFFFFFFFFu;
// The text area starts this far into the block so that no reference into
// it is 0 (null).
constexpr uint32_t kTextOffset = 4;

void FreeBlock(void* p) { std::free(p); }

}  // namespace

PpmdMemory::PpmdMemory(uint32_t size) : base_(nullptr, FreeBlock), size_(size) {
  // Zeroed pages come lazily from the system, so an entry only touches the
  // memory its model grows into.
  base_.reset(static_cast<uint8_t*>(std::calloc(size + kTextOffset + kUnitSize, 1)));
  if (!base_) throw std::bad_alloc();
  unsigned k = 0;
  for (unsigned i = 0; i < kNumIndexes; i++) {
    unsigned step = i >= 12 ? 4 : (i >> 2) + 1;
    for (; step != 0; step--) unitsToIndex_[k++] = static_cast<uint8_t>(i);
    indexToUnits_[i] = static_cast<uint8_t>(k);
  }
}

void PpmdMemory::Reset() {
  std::memset(freeList_, 0, sizeof freeList_);
  std::memset(stamps_, 0, sizeof stamps_);
  textStart_ = text_ = base_.get() + kTextOffset;
  hiUnit_ = text_ + size_;
  loUnit_ = unitsStart_ = hiUnit_ - size_ / 8 / kUnitSize * 7 * kUnitSize;
  glueCount_ = 0;
}

void PpmdMemory::CopyUnits(void* dest, const void* src, unsigned nu) {
  std::memmove(dest, src, static_cast<size_t>(nu) * kUnitSize);
}

void PpmdMemory::InsertNode(void* p, unsigned index) {
  PpmdNode* node = static_cast<PpmdNode*>(p);
  node->stamp = kEmptyNode;
  node->next = freeList_[index];
  node->nu = IndexToUnits(index);
  freeList_[index] = Ref(p);
  stamps_[index]++;
}

void* PpmdMemory::RemoveNode(unsigned index) {
  PpmdNode* node = At<PpmdNode>(freeList_[index]);
  freeList_[index] = node->next;
  stamps_[index]--;
  return node;
}

void PpmdMemory::SplitBlock(void* p, unsigned oldIndex, unsigned newIndex) {
  unsigned nu = IndexToUnits(oldIndex) - IndexToUnits(newIndex);
  uint8_t* rest = static_cast<uint8_t*>(p) + IndexToUnits(newIndex) * kUnitSize;
  unsigned i = UnitsToIndex(nu);
  if (IndexToUnits(i) != nu) {
    unsigned k = IndexToUnits(--i);
    InsertNode(rest + k * kUnitSize, nu - k - 1);
  }
  InsertNode(rest, i);
}

void PpmdMemory::GlueFreeBlocks() {
  uint32_t head = 0;
  uint32_t* prev = &head;
  glueCount_ = 1u << 13;
  std::memset(stamps_, 0, sizeof stamps_);

  // Every unit up to loUnit_ may be free, so the gap above it is marked as
  // used to stop the gluing; the root context at the very top stops it
  // there.
  if (loUnit_ != hiUnit_) reinterpret_cast<PpmdNode*>(loUnit_)->stamp = 0;

  for (unsigned i = 0; i < kNumIndexes; i++) {
    uint32_t next = freeList_[i];
    freeList_[i] = 0;
    while (next != 0) {
      PpmdNode* node = At<PpmdNode>(next);
      if (node->nu != 0) {
        *prev = next;
        prev = &node->next;
        for (;;) {
          PpmdNode* after = node + node->nu;
          if (after->stamp != kEmptyNode) break;
          node->nu += after->nu;
          after->nu = 0;
        }
      }
      next = node->next;
    }
  }
  *prev = 0;

  while (head != 0) {
    PpmdNode* node = At<PpmdNode>(head);
    head = node->next;
    unsigned nu = node->nu;
    if (nu == 0) continue;
    for (; nu > 128; nu -= 128, node += 128) InsertNode(node, kNumIndexes - 1);
    unsigned i = UnitsToIndex(nu);
    if (IndexToUnits(i) != nu) {
      unsigned k = IndexToUnits(--i);
      InsertNode(node + k, nu - k - 1);
    }
    InsertNode(node, i);
  }
}

void* PpmdMemory::AllocUnitsRare(unsigned index) {
  if (glueCount_ == 0) {
    GlueFreeBlocks();
    if (freeList_[index] != 0) return RemoveNode(index);
  }
  unsigned i = index;
  do {
    if (++i == kNumIndexes) {
      uint32_t bytes = IndexToUnits(index) * kUnitSize;
      glueCount_--;
      if (static_cast<uint32_t>(unitsStart_ - text_) > bytes) return unitsStart_ -= bytes;
      return nullptr;
    }
  } while (freeList_[i] == 0);
  void* block = RemoveNode(i);
  SplitBlock(block, i, index);
  return block;
}

void* PpmdMemory::ShrinkUnits(void* oldPtr, unsigned oldNu, unsigned newNu) {
  unsigned i0 = UnitsToIndex(oldNu);
  unsigned i1 = UnitsToIndex(newNu);
  if (i0 == i1) return oldPtr;
  if (freeList_[i1] != 0) {
    void* p = RemoveNode(i1);
    CopyUnits(p, oldPtr, newNu);
    InsertNode(oldPtr, i0);
    return p;
  }
  SplitBlock(oldPtr, i0, i1);
  return oldPtr;
}

void PpmdMemory::SpecialFreeUnit(void* p) {
  if (static_cast<uint8_t*>(p) != unitsStart_)
    InsertNode(p, 0);
  else
    unitsStart_ += kUnitSize;
}

void* PpmdMemory::MoveUnitsUp(void* oldPtr, unsigned nu) {
  unsigned index = UnitsToIndex(nu);
  if (static_cast<uint8_t*>(oldPtr) > unitsStart_ + 16 * 1024 || Ref(oldPtr) > freeList_[index]) return oldPtr;
  void* p = RemoveNode(index);
  CopyUnits(p, oldPtr, nu);
  if (static_cast<uint8_t*>(oldPtr) != unitsStart_)
    InsertNode(oldPtr, index);
  else
    unitsStart_ += IndexToUnits(index) * kUnitSize;
  return p;
}

void PpmdMemory::ExpandTextArea() {
  uint32_t count[kNumIndexes] = {};
  if (loUnit_ != hiUnit_) reinterpret_cast<PpmdNode*>(loUnit_)->stamp = 0;

  // Free blocks right above the text area go to the text area.
  PpmdNode* node = reinterpret_cast<PpmdNode*>(unitsStart_);
  for (; node->stamp == kEmptyNode; node += node->nu) {
    node->stamp = 0;
    count[UnitsToIndex(node->nu)]++;
  }
  unitsStart_ = reinterpret_cast<uint8_t*>(node);

  // And leave their free lists.
  for (unsigned i = 0; i < kNumIndexes; i++) {
    uint32_t* next = &freeList_[i];
    while (count[i] != 0) {
      PpmdNode* n = At<PpmdNode>(*next);
      while (n->stamp == 0) {
        *next = n->next;
        n = At<PpmdNode>(*next);
        stamps_[i]--;
        if (--count[i] == 0) break;
      }
      next = &n->next;
    }
  }
}

uint32_t PpmdMemory::UsedMemory() const {
  uint32_t freeUnits = 0;
  for (unsigned i = 0; i < kNumIndexes; i++) freeUnits += stamps_[i] * IndexToUnits(i);
  return size_ - static_cast<uint32_t>(hiUnit_ - loUnit_) - static_cast<uint32_t>(unitsStart_ - text_) -
         freeUnits * kUnitSize;
}

}  // namespace codecs

#pragma once
// PPMd variant I revision 1, the model of ZIP method 98, with its
// carry-less range decoder. Decoding a symbol and updating the model are
// one step, since the model learns from every symbol it gives out.
#include <cstdint>

#include "install/codecs/ppmd_memory.h"
#include "install/codecs/range_input.h"

namespace codecs {

class PpmdModel {
 public:
  static constexpr unsigned kMinOrder = 2;
  static constexpr unsigned kMaxOrder = 16;
  enum RestoreMethod : unsigned { kRestart = 0, kCutOff = 1 };

  // memorySize in bytes; maxOrder kMinOrder..kMaxOrder.
  PpmdModel(uint32_t memorySize, unsigned maxOrder, RestoreMethod restoreMethod);

  // Reads the range decoder's first four bytes.
  void StartDecoding(RangeInput& input);
  // The next symbol, or kEndMark when the data says it has ended, or
  // kDamaged.
  int DecodeSymbol();
  // Hands the read position back to the input.
  void FinishDecoding();

  static constexpr int kEndMark = -1;
  static constexpr int kDamaged = -2;

 private:
  struct See {
    uint16_t summ;
    uint8_t shift;
    uint8_t count;
  };

  PpmdContext* Ctx(uint32_t ref) const { return memory_.At<PpmdContext>(ref); }
  PpmdState* Stats(const PpmdContext* c) const { return memory_.At<PpmdState>(c->stats); }
  PpmdContext* Suffix(const PpmdContext* c) const { return Ctx(c->suffix); }
  uint32_t Ref(const void* p) const { return memory_.Ref(p); }
  bool InUnits(uint32_t ref) const { return memory_.Base() + ref >= memory_.unitsStart_; }

  void RestartModel();
  void Refresh(PpmdContext* c, unsigned oldNu, unsigned scale);
  uint32_t CutOff(PpmdContext* c, unsigned order);
  void RestoreModel(PpmdContext* c1);
  PpmdContext* CreateSuccessors(bool skip, PpmdState* s1, PpmdContext* c);
  PpmdContext* ReduceOrder(PpmdState* s1, PpmdContext* c);
  void UpdateModel();
  void Rescale();
  void NextContext();
  void Update1();
  void Update1_0();
  void UpdateBin();
  void Update2();
  See* MakeEscFreq(unsigned numMasked, uint32_t* escFreq);

  // The carry-less range decoder. DecodeSymbol works on a copy in locals,
  // which the model's stores into its memory block cannot alias.
  struct RangeDecoder {
    uint32_t range = 0, code = 0, low = 0;
    RangeInput* input = nullptr;
    const uint8_t* in = nullptr;
    const uint8_t* inEnd = nullptr;

    uint32_t NextByte() {
      if (in == inEnd) {
        RangeInput::Span s = input->Refill(in);
        in = s.cur;
        inEnd = s.end;
      }
      return *in++;
    }
    inline uint32_t Threshold(uint32_t total);
    inline void Decode(uint32_t start, uint32_t size);
  };

  PpmdMemory memory_;
  PpmdContext* minContext_ = nullptr;
  PpmdContext* maxContext_ = nullptr;
  PpmdState* foundState_ = nullptr;
  unsigned orderFall_ = 0, initEsc_ = 0, prevSuccess_ = 0, maxOrder_;
  // A signed count kept in two's complement: negative after an escape.
  uint32_t runLength_ = 0, initRunLength_ = 0;
  RestoreMethod restoreMethod_;

  RangeDecoder rc_;

  uint8_t ns2BinIndex_[256];
  uint8_t ns2Index_[260];
  See dummySee_;
  See see_[24][32];
  uint16_t binSumm_[25][64];
};

}  // namespace codecs

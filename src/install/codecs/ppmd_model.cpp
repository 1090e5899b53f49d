#include "install/codecs/ppmd_model.h"

#include <cstring>
#include <utility>

namespace codecs {
namespace {

constexpr unsigned kMaxFreq = 124;
constexpr unsigned kUnitSize = PpmdMemory::kUnitSize;
constexpr unsigned kIntBits = 7;
constexpr unsigned kPeriodBits = 7;
constexpr unsigned kBinScale = 1u << (kIntBits + kPeriodBits);
constexpr uint32_t kTop = 1u << 24;
constexpr uint32_t kBot = 1u << 15;

constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
constexpr uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x64A1, 0x5ABC, 0x6632, 0x6051};

// Flag bits of a context.
constexpr uint8_t kFlagRescaled = 0x04;
constexpr uint8_t kFlagHighSymbol = 0x08;  // some symbol is 0x40 or above
constexpr uint8_t kFlagHighFound = 0x10;   // the symbol that made it was

uint8_t HighSymbolFlag(uint8_t symbol) { return symbol >= 0x40 ? kFlagHighSymbol : 0; }

unsigned GetMean(unsigned summ) { return (summ + (1u << (kPeriodBits - 2))) >> kPeriodBits; }

}  // namespace

PpmdModel::PpmdModel(uint32_t memorySize, unsigned maxOrder, RestoreMethod restoreMethod)
    : memory_(memorySize), maxOrder_(maxOrder), restoreMethod_(restoreMethod) {
  ns2BinIndex_[0] = 0 << 1;
  ns2BinIndex_[1] = 1 << 1;
  std::memset(ns2BinIndex_ + 2, 2 << 1, 9);
  std::memset(ns2BinIndex_ + 11, 3 << 1, 256 - 11);

  unsigned i = 0;
  for (; i < 5; i++) ns2Index_[i] = static_cast<uint8_t>(i);
  for (unsigned m = i, k = 1; i < 260; i++) {
    ns2Index_[i] = static_cast<uint8_t>(m);
    if (--k == 0) k = (++m) - 4;
  }

  RestartModel();
  dummySee_.shift = kPeriodBits;
  dummySee_.summ = 0;
  dummySee_.count = 64;
}

void PpmdModel::RestartModel() {
  memory_.Reset();
  orderFall_ = maxOrder_;
  runLength_ = initRunLength_ = 0u - (maxOrder_ < 12 ? maxOrder_ : 12) - 1;
  prevSuccess_ = 0;

  // The order-0 context with all 256 symbols, in the top unit.
  memory_.hiUnit_ -= kUnitSize;
  minContext_ = maxContext_ = reinterpret_cast<PpmdContext*>(memory_.hiUnit_);
  minContext_->suffix = 0;
  minContext_->numStats = 255;
  minContext_->flags = 0;
  minContext_->summFreq = 256 + 1;
  foundState_ = reinterpret_cast<PpmdState*>(memory_.loUnit_);
  memory_.loUnit_ += (256 / 2) * kUnitSize;
  minContext_->stats = Ref(foundState_);
  for (unsigned i = 0; i < 256; i++) {
    PpmdState* s = &foundState_[i];
    s->symbol = static_cast<uint8_t>(i);
    s->freq = 1;
    s->SetSuccessor(0);
  }

  for (unsigned i = 0, m = 0; m < 25; m++) {
    while (ns2Index_[i] == m) i++;
    for (unsigned k = 0; k < 8; k++) {
      uint16_t val = static_cast<uint16_t>(kBinScale - kInitBinEsc[k] / (i + 1));
      for (unsigned r = 0; r < 64; r += 8) binSumm_[m][k + r] = val;
    }
  }
  for (unsigned i = 0, m = 0; m < 24; m++) {
    while (ns2Index_[i + 3] == m + 3) i++;
    for (unsigned k = 0; k < 32; k++) {
      See& s = see_[m][k];
      s.shift = kPeriodBits - 4;
      s.summ = static_cast<uint16_t>((2 * i + 5) << s.shift);
      s.count = 7;
    }
  }
}

// Scales a context's frequencies after the memory was cut, and moves its
// symbol list into a block that fits.
void PpmdModel::Refresh(PpmdContext* c, unsigned oldNu, unsigned scale) {
  unsigned i = c->numStats;
  PpmdState* s = static_cast<PpmdState*>(memory_.ShrinkUnits(Stats(c), oldNu, (i + 2) >> 1));
  c->stats = Ref(s);
  unsigned flags = (c->flags & (kFlagHighFound + kFlagRescaled * scale)) + HighSymbolFlag(s->symbol);
  unsigned escFreq = c->summFreq - s->freq;
  unsigned sumFreq = (s->freq = static_cast<uint8_t>((s->freq + scale) >> scale));
  do {
    escFreq -= (++s)->freq;
    sumFreq += (s->freq = static_cast<uint8_t>((s->freq + scale) >> scale));
    flags |= HighSymbolFlag(s->symbol);
  } while (--i);
  c->summFreq = static_cast<uint16_t>(sumFreq + ((escFreq + scale) >> scale));
  c->flags = static_cast<uint8_t>(flags);
}

// Drops the successors that point into the text area, and the contexts
// left without any, from c downwards. Returns c, or 0 when c went.
uint32_t PpmdModel::CutOff(PpmdContext* c, unsigned order) {
  if (c->numStats == 0) {
    PpmdState* s = c->OneState();
    if (InUnits(s->Successor())) {
      if (order < maxOrder_)
        s->SetSuccessor(CutOff(Ctx(s->Successor()), order + 1));
      else
        s->SetSuccessor(0);
      if (s->Successor() != 0 || order <= 9) return Ref(c);
    }
    memory_.SpecialFreeUnit(c);
    return 0;
  }

  unsigned nu = (static_cast<unsigned>(c->numStats) + 2) >> 1;
  c->stats = Ref(memory_.MoveUnitsUp(Stats(c), nu));

  int last = c->numStats;
  PpmdState* stats = Stats(c);
  for (int j = last; j >= 0; j--) {
    PpmdState* s = stats + j;
    if (!InUnits(s->Successor())) {
      PpmdState* s2 = stats + (last--);
      s->SetSuccessor(0);
      std::swap(*s, *s2);
    } else if (order < maxOrder_) {
      s->SetSuccessor(CutOff(Ctx(s->Successor()), order + 1));
    } else {
      s->SetSuccessor(0);
    }
  }

  if (last != c->numStats && order != 0) {
    c->numStats = static_cast<uint8_t>(last);
    PpmdState* s = Stats(c);
    if (last < 0) {
      memory_.FreeUnits(s, nu);
      memory_.SpecialFreeUnit(c);
      return 0;
    }
    if (last == 0) {
      c->flags = static_cast<uint8_t>((c->flags & kFlagHighFound) + HighSymbolFlag(s->symbol));
      *c->OneState() = *s;
      memory_.FreeUnits(s, nu);
      c->OneState()->freq = static_cast<uint8_t>((static_cast<unsigned>(c->OneState()->freq) + 11) >> 3);
    } else {
      Refresh(c, nu, c->summFreq > 16 * static_cast<unsigned>(last));
    }
  }
  return Ref(c);
}

// The memory is full: undoes the half-made update from maxContext_ down to
// c1, then restarts the model or cuts it down to three quarters.
void PpmdModel::RestoreModel(PpmdContext* c1) {
  memory_.text_ = memory_.textStart_;
  PpmdContext* c = maxContext_;
  for (; c != c1; c = Suffix(c)) {
    if (--(c->numStats) == 0) {
      PpmdState* s = Stats(c);
      c->flags = static_cast<uint8_t>((c->flags & kFlagHighFound) + HighSymbolFlag(s->symbol));
      *c->OneState() = *s;
      memory_.SpecialFreeUnit(s);
      c->OneState()->freq = static_cast<uint8_t>((static_cast<unsigned>(c->OneState()->freq) + 11) >> 3);
    } else {
      Refresh(c, (c->numStats + 3u) >> 1, 0);
    }
  }
  for (; c != minContext_; c = Suffix(c)) {
    if (c->numStats == 0)
      c->OneState()->freq = static_cast<uint8_t>(c->OneState()->freq - (c->OneState()->freq >> 1));
    else if ((c->summFreq = static_cast<uint16_t>(c->summFreq + 4)) > 128 + 4 * static_cast<unsigned>(c->numStats))
      Refresh(c, (c->numStats + 2u) >> 1, 1);
  }

  if (restoreMethod_ == kRestart || memory_.UsedMemory() < (memory_.Size() >> 1)) {
    RestartModel();
  } else {
    while (maxContext_->suffix != 0) maxContext_ = Suffix(maxContext_);
    do {
      CutOff(maxContext_, 0);
      memory_.ExpandTextArea();
    } while (memory_.UsedMemory() > 3 * (memory_.Size() >> 2));
    memory_.glueCount_ = 0;
    orderFall_ = maxOrder_;
  }
}

PpmdContext* PpmdModel::CreateSuccessors(bool skip, PpmdState* s1, PpmdContext* c) {
  const uint32_t upBranch = foundState_->Successor();
  const uint8_t foundSymbol = foundState_->symbol;
  PpmdState* ps[kMaxOrder + 1];
  unsigned numPs = 0;
  if (!skip) ps[numPs++] = foundState_;

  while (c->suffix != 0) {
    c = Suffix(c);
    PpmdState* s;
    if (s1 != nullptr) {
      s = s1;
      s1 = nullptr;
    } else if (c->numStats != 0) {
      for (s = Stats(c); s->symbol != foundSymbol; s++) {
      }
      if (s->freq < kMaxFreq - 9) {
        s->freq++;
        c->summFreq++;
      }
    } else {
      s = c->OneState();
      s->freq = static_cast<uint8_t>(s->freq + ((Suffix(c)->numStats == 0) & (s->freq < 24)));
    }
    uint32_t successor = s->Successor();
    if (successor != upBranch) {
      c = Ctx(successor);
      if (numPs == 0) return c;
      break;
    }
    ps[numPs++] = s;
  }

  PpmdState upState;
  upState.symbol = *memory_.At<uint8_t>(upBranch);
  upState.SetSuccessor(upBranch + 1);
  uint8_t flags = static_cast<uint8_t>((foundSymbol >= 0x40 ? kFlagHighFound : 0) + HighSymbolFlag(upState.symbol));

  if (c->numStats == 0) {
    upState.freq = c->OneState()->freq;
  } else {
    PpmdState* s;
    for (s = Stats(c); s->symbol != upState.symbol; s++) {
    }
    uint32_t cf = s->freq - 1u;
    uint32_t s0 = c->summFreq - c->numStats - cf;
    upState.freq = static_cast<uint8_t>(1 + ((2 * cf <= s0) ? (5 * cf > s0) : ((cf + 2 * s0 - 3) / s0)));
  }

  do {
    PpmdContext* c1 = static_cast<PpmdContext*>(memory_.AllocContext());
    if (c1 == nullptr) return nullptr;
    c1->numStats = 0;
    c1->flags = flags;
    *c1->OneState() = upState;
    c1->suffix = Ref(c);
    ps[--numPs]->SetSuccessor(Ref(c1));
    c = c1;
  } while (numPs != 0);
  return c;
}

PpmdContext* PpmdModel::ReduceOrder(PpmdState* s1, PpmdContext* c) {
  PpmdState* s = nullptr;
  PpmdContext* c1 = c;
  const uint32_t upBranch = Ref(memory_.text_);
  const uint8_t foundSymbol = foundState_->symbol;

  foundState_->SetSuccessor(upBranch);
  orderFall_++;

  for (;;) {
    if (s1 != nullptr) {
      c = Suffix(c);
      s = s1;
      s1 = nullptr;
    } else {
      if (c->suffix == 0) return c;
      c = Suffix(c);
      if (c->numStats != 0) {
        for (s = Stats(c); s->symbol != foundSymbol; s++) {
        }
        if (s->freq < kMaxFreq - 9) {
          s->freq = static_cast<uint8_t>(s->freq + 2);
          c->summFreq = static_cast<uint16_t>(c->summFreq + 2);
        }
      } else {
        s = c->OneState();
        s->freq = static_cast<uint8_t>(s->freq + (s->freq < 32));
      }
    }
    if (s->Successor() != 0) break;
    s->SetSuccessor(upBranch);
    orderFall_++;
  }

  if (s->Successor() <= upBranch) {
    PpmdState* saved = foundState_;
    foundState_ = s;
    PpmdContext* successor = CreateSuccessors(false, nullptr, c);
    s->SetSuccessor(successor == nullptr ? 0 : Ref(successor));
    foundState_ = saved;
  }

  if (orderFall_ == 1 && c1 == maxContext_) {
    foundState_->SetSuccessor(s->Successor());
    memory_.text_--;
  }
  if (s->Successor() == 0) return nullptr;
  return Ctx(s->Successor());
}

void PpmdModel::UpdateModel() {
  uint32_t fSuccessor = foundState_->Successor();
  const unsigned fFreq = foundState_->freq;
  const uint8_t fSymbol = foundState_->symbol;
  PpmdState* s = nullptr;

  if (fFreq < kMaxFreq / 4 && minContext_->suffix != 0) {
    PpmdContext* c = Suffix(minContext_);
    if (c->numStats == 0) {
      s = c->OneState();
      if (s->freq < 32) s->freq++;
    } else {
      s = Stats(c);
      if (s->symbol != fSymbol) {
        do {
          s++;
        } while (s->symbol != fSymbol);
        if (s[0].freq >= s[-1].freq) {
          std::swap(s[0], s[-1]);
          s--;
        }
      }
      if (s->freq < kMaxFreq - 9) {
        s->freq = static_cast<uint8_t>(s->freq + 2);
        c->summFreq = static_cast<uint16_t>(c->summFreq + 2);
      }
    }
  }

  PpmdContext* c = maxContext_;
  if (orderFall_ == 0 && fSuccessor != 0) {
    PpmdContext* cs = CreateSuccessors(true, s, minContext_);
    if (cs == nullptr) {
      foundState_->SetSuccessor(0);
      RestoreModel(c);
    } else {
      foundState_->SetSuccessor(Ref(cs));
      maxContext_ = cs;
    }
    return;
  }

  *memory_.text_++ = fSymbol;
  uint32_t successor = Ref(memory_.text_);
  if (memory_.text_ >= memory_.unitsStart_) {
    RestoreModel(c);
    return;
  }

  if (fSuccessor == 0) {
    PpmdContext* cs = ReduceOrder(s, minContext_);
    if (cs == nullptr) {
      RestoreModel(c);
      return;
    }
    fSuccessor = Ref(cs);
  } else if (!InUnits(fSuccessor)) {
    PpmdContext* cs = CreateSuccessors(false, s, minContext_);
    if (cs == nullptr) {
      RestoreModel(c);
      return;
    }
    fSuccessor = Ref(cs);
  }

  if (--orderFall_ == 0) {
    successor = fSuccessor;
    memory_.text_ -= (maxContext_ != minContext_);
  }

  const unsigned ns = minContext_->numStats;
  const unsigned s0 = minContext_->summFreq - ns - fFreq;
  const uint8_t flag = HighSymbolFlag(fSymbol);

  for (; c != minContext_; c = Suffix(c)) {
    unsigned ns1 = c->numStats;
    if (ns1 != 0) {
      if ((ns1 & 1) != 0) {
        // The list grows past its block: move it to one unit more.
        unsigned oldNu = (ns1 + 1) >> 1;
        unsigned i = memory_.UnitsToIndex(oldNu);
        if (i != memory_.UnitsToIndex(oldNu + 1)) {
          void* p = memory_.AllocUnits(i + 1);
          if (p == nullptr) {
            RestoreModel(c);
            return;
          }
          void* oldPtr = Stats(c);
          PpmdMemory::CopyUnits(p, oldPtr, oldNu);
          memory_.InsertNode(oldPtr, i);
          c->stats = Ref(p);
        }
      }
      c->summFreq = static_cast<uint16_t>(c->summFreq + (3 * ns1 + 1 < ns));
    } else {
      PpmdState* s2 = static_cast<PpmdState*>(memory_.AllocUnits(0));
      if (s2 == nullptr) {
        RestoreModel(c);
        return;
      }
      *s2 = *c->OneState();
      c->stats = Ref(s2);
      if (s2->freq < kMaxFreq / 4 - 1)
        s2->freq = static_cast<uint8_t>(s2->freq << 1);
      else
        s2->freq = kMaxFreq - 4;
      c->summFreq = static_cast<uint16_t>(s2->freq + initEsc_ + (ns > 2));
    }
    uint32_t cf = 2 * fFreq * (c->summFreq + 6u);
    uint32_t sf = s0 + c->summFreq;
    if (cf < 6 * sf) {
      cf = 1u + (cf > sf) + (cf >= 4 * sf);
      c->summFreq = static_cast<uint16_t>(c->summFreq + 4);
    } else {
      cf = 4u + (cf > 9 * sf) + (cf > 12 * sf) + (cf > 15 * sf);
      c->summFreq = static_cast<uint16_t>(c->summFreq + cf);
    }
    PpmdState* added = Stats(c) + ns1 + 1;
    added->SetSuccessor(successor);
    added->symbol = fSymbol;
    added->freq = static_cast<uint8_t>(cf);
    c->flags |= flag;
    c->numStats = static_cast<uint8_t>(ns1 + 1);
  }
  maxContext_ = minContext_ = Ctx(fSuccessor);
}

void PpmdModel::Rescale() {
  PpmdContext* mc = minContext_;
  PpmdState* stats = Stats(mc);
  PpmdState* s = foundState_;
  {
    PpmdState tmp = *s;
    for (; s != stats; s--) s[0] = s[-1];
    *s = tmp;
  }
  unsigned escFreq = mc->summFreq - s->freq;
  s->freq = static_cast<uint8_t>(s->freq + 4);
  const unsigned adder = orderFall_ != 0;
  s->freq = static_cast<uint8_t>((s->freq + adder) >> 1);
  unsigned sumFreq = s->freq;

  unsigned i = mc->numStats;
  do {
    escFreq -= (++s)->freq;
    s->freq = static_cast<uint8_t>((s->freq + adder) >> 1);
    sumFreq += s->freq;
    if (s[0].freq > s[-1].freq) {
      PpmdState* s1 = s;
      PpmdState tmp = *s1;
      do {
        s1[0] = s1[-1];
      } while (--s1 != stats && tmp.freq > s1[-1].freq);
      *s1 = tmp;
    }
  } while (--i);

  if (s->freq == 0) {
    unsigned numStats = mc->numStats;
    do {
      i++;
    } while ((--s)->freq == 0);
    escFreq += i;
    mc->numStats = static_cast<uint8_t>(mc->numStats - i);
    if (mc->numStats == 0) {
      PpmdState tmp = *stats;
      tmp.freq = static_cast<uint8_t>((2 * tmp.freq + escFreq - 1) / escFreq);
      if (tmp.freq > kMaxFreq / 3) tmp.freq = kMaxFreq / 3;
      memory_.InsertNode(stats, memory_.UnitsToIndex((numStats + 2) >> 1));
      mc->flags = static_cast<uint8_t>((mc->flags & kFlagHighFound) + HighSymbolFlag(tmp.symbol));
      *(foundState_ = mc->OneState()) = tmp;
      return;
    }
    unsigned n0 = (numStats + 2) >> 1;
    unsigned n1 = (mc->numStats + 2u) >> 1;
    if (n0 != n1) mc->stats = Ref(memory_.ShrinkUnits(stats, n0, n1));
    mc->flags = static_cast<uint8_t>(mc->flags & ~kFlagHighSymbol);
    s = Stats(mc);
    unsigned flags = mc->flags | HighSymbolFlag(s->symbol);
    i = mc->numStats;
    do {
      flags |= HighSymbolFlag((++s)->symbol);
    } while (--i);
    mc->flags = static_cast<uint8_t>(flags);
  }
  mc->summFreq = static_cast<uint16_t>(sumFreq + escFreq - (escFreq >> 1));
  mc->flags |= kFlagRescaled;
  foundState_ = Stats(mc);
}

PpmdModel::See* PpmdModel::MakeEscFreq(unsigned numMasked, uint32_t* escFreq) {
  const PpmdContext* mc = minContext_;
  const unsigned ns = mc->numStats;
  if (ns == 0xFF) {
    *escFreq = 1;
    return &dummySee_;
  }
  See* see = see_[ns2Index_[ns + 2] - 3u] + (mc->summFreq > 11 * (ns + 1)) +
             2 * static_cast<unsigned>(2 * ns < static_cast<unsigned>(Suffix(mc)->numStats) + numMasked) + mc->flags;
  unsigned r = static_cast<unsigned>(see->summ >> see->shift);
  see->summ = static_cast<uint16_t>(see->summ - r);
  *escFreq = r + (r == 0);
  return see;
}

void PpmdModel::NextContext() {
  PpmdContext* c = Ctx(foundState_->Successor());
  if (orderFall_ == 0 && reinterpret_cast<uint8_t*>(c) >= memory_.unitsStart_) {
    minContext_ = maxContext_ = c;
  } else {
    UpdateModel();
    minContext_ = maxContext_;
  }
}

void PpmdModel::Update1() {
  PpmdState* s = foundState_;
  s->freq = static_cast<uint8_t>(s->freq + 4);
  minContext_->summFreq = static_cast<uint16_t>(minContext_->summFreq + 4);
  if (s[0].freq > s[-1].freq) {
    std::swap(s[0], s[-1]);
    foundState_ = --s;
    if (s->freq > kMaxFreq) Rescale();
  }
  NextContext();
}

void PpmdModel::Update1_0() {
  prevSuccess_ = (2u * foundState_->freq >= minContext_->summFreq);
  runLength_ += prevSuccess_;
  minContext_->summFreq = static_cast<uint16_t>(minContext_->summFreq + 4);
  if ((foundState_->freq = static_cast<uint8_t>(foundState_->freq + 4)) > kMaxFreq) Rescale();
  NextContext();
}

void PpmdModel::UpdateBin() {
  foundState_->freq = static_cast<uint8_t>(foundState_->freq + (foundState_->freq < 196));
  prevSuccess_ = 1;
  runLength_++;
  NextContext();
}

void PpmdModel::Update2() {
  minContext_->summFreq = static_cast<uint16_t>(minContext_->summFreq + 4);
  if ((foundState_->freq = static_cast<uint8_t>(foundState_->freq + 4)) > kMaxFreq) Rescale();
  runLength_ = initRunLength_;
  UpdateModel();
  minContext_ = maxContext_;
}

// ---- range decoder ----

void PpmdModel::StartDecoding(RangeInput& input) {
  rc_.input = &input;
  RangeInput::Span span = input.Current();
  rc_.in = span.cur;
  rc_.inEnd = span.end;
  rc_.low = 0;
  rc_.range = 0xFFFFFFFFu;
  rc_.code = 0;
  for (int i = 0; i < 4; i++) rc_.code = (rc_.code << 8) | rc_.NextByte();
  if (rc_.code == 0xFFFFFFFFu) throw DecodeError("PPMd data damaged at its start");
}

void PpmdModel::FinishDecoding() { rc_.input->Advance(rc_.in); }

inline uint32_t PpmdModel::RangeDecoder::Threshold(uint32_t total) {
  range /= total;
  if (range == 0) throw DecodeError("PPMd data damaged");
  return code / range;
}

inline void PpmdModel::RangeDecoder::Decode(uint32_t start, uint32_t size) {
  start *= range;
  low += start;
  code -= start;
  range *= size;
  for (;;) {
    if ((low ^ (low + range)) >= kTop) {
      if (range >= kBot) break;
      range = (0u - low) & (kBot - 1);
    }
    code = (code << 8) | NextByte();
    range <<= 8;
    low <<= 8;
  }
}

int PpmdModel::DecodeSymbol() {
  uint8_t charMask[256];
  RangeDecoder rc = rc_;
  PpmdContext* mc = minContext_;
  if (mc->numStats != 0) {
    PpmdState* s = Stats(mc);
    uint32_t count = rc.Threshold(mc->summFreq);
    uint32_t hiCnt = s->freq;
    if (count < hiCnt) {
      rc.Decode(0, s->freq);
      foundState_ = s;
      uint8_t symbol = s->symbol;
      rc_ = rc;
      Update1_0();
      return symbol;
    }
    prevSuccess_ = 0;
    unsigned i = mc->numStats;
    do {
      if ((hiCnt += (++s)->freq) > count) {
        rc.Decode(hiCnt - s->freq, s->freq);
        foundState_ = s;
        uint8_t symbol = s->symbol;
        rc_ = rc;
      Update1();
        return symbol;
      }
    } while (--i);
    if (count >= mc->summFreq) {
      rc_ = rc;
      return kDamaged;
    }
    rc.Decode(hiCnt, mc->summFreq - hiCnt);
    std::memset(charMask, 0xFF, sizeof charMask);
    charMask[s->symbol] = 0;
    i = mc->numStats;
    do {
      charMask[(--s)->symbol] = 0;
    } while (--i);
  } else {
    PpmdState* one = mc->OneState();
    uint16_t* prob = &binSumm_[ns2Index_[one->freq - 1u]]
                              [ns2BinIndex_[Suffix(mc)->numStats] + prevSuccess_ + mc->flags +
                               ((runLength_ >> 26) & 0x20)];
    rc.range >>= 14;
    if (rc.code / rc.range < *prob) {
      rc.Decode(0, *prob);
      *prob = static_cast<uint16_t>(*prob + (1u << kIntBits) - GetMean(*prob));
      foundState_ = one;
      uint8_t symbol = one->symbol;
      rc_ = rc;
      UpdateBin();
      return symbol;
    }
    rc.Decode(*prob, (1u << 14) - *prob);
    *prob = static_cast<uint16_t>(*prob - GetMean(*prob));
    initEsc_ = kExpEscape[*prob >> 10];
    std::memset(charMask, 0xFF, sizeof charMask);
    charMask[one->symbol] = 0;
    prevSuccess_ = 0;
  }

  for (;;) {
    PpmdState* ps[256];
    const unsigned numMasked = minContext_->numStats;
    do {
      orderFall_++;
      if (minContext_->suffix == 0) {
        rc_ = rc;
        return kEndMark;
      }
      minContext_ = Suffix(minContext_);
    } while (minContext_->numStats == numMasked);

    uint32_t hiCnt = 0;
    PpmdState* s = Stats(minContext_);
    const unsigned num = minContext_->numStats - numMasked;
    unsigned i = 0;
    do {
      unsigned k = charMask[s->symbol];  // 0xFF when not masked
      hiCnt += s->freq & k;
      ps[i] = s++;
      i += k & 1;
    } while (i != num);

    uint32_t freqSum;
    See* see = MakeEscFreq(numMasked, &freqSum);
    freqSum += hiCnt;
    uint32_t count = rc.Threshold(freqSum);

    if (count < hiCnt) {
      PpmdState** pps = ps;
      for (hiCnt = 0; (hiCnt += (*pps)->freq) <= count; pps++) {
      }
      s = *pps;
      rc.Decode(hiCnt - s->freq, s->freq);
      if (see->shift < kPeriodBits && --see->count == 0) {
        see->summ = static_cast<uint16_t>(see->summ << 1);
        see->count = static_cast<uint8_t>(3 << see->shift++);
      }
      foundState_ = s;
      uint8_t symbol = s->symbol;
      rc_ = rc;
      Update2();
      return symbol;
    }
    if (count >= freqSum) {
      rc_ = rc;
      return kDamaged;
    }
    rc.Decode(hiCnt, freqSum - hiCnt);
    see->summ = static_cast<uint16_t>(see->summ + freqSum);
    do {
      charMask[ps[--i]->symbol] = 0;
    } while (i != 0);
  }
}

}  // namespace codecs

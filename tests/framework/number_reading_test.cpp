#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "framework/sysutils.h"

namespace {

TFormatSettings WithSeparator(wchar_t c) {
  TFormatSettings s;
  s.DecimalSeparator = c;
  return s;
}

}  // namespace

TEST(NumberReading, ValidTexts) {
  const struct {
    const wchar_t* text;
    wchar_t separator;
    long double value;
  } cases[] = {
      {L"1.5", L'.', 1.5L},
      {L"1,5", L',', 1.5L},
      {L"1.50", L'.', 1.5L},
      {L"  1.5  ", L'.', 1.5L},
      {L"+1.5", L'.', 1.5L},
      {L"-1.5", L'.', -1.5L},
      {L"1.", L'.', 1.0L},
      {L".5", L'.', 0.5L},
      {L".", L'.', 0.0L},  // the separator alone counts as a number
      {L"-.", L'.', 0.0L},
      {L"15", L'.', 15.0L},
      {L"1.5E2", L'.', 150.0L},
      {L"1.5e-1", L'.', 0.15L},
      {L"1.5E+2", L'.', 150.0L},
      {L"1.5E", L'.', 1.5L},   // no exponent digits: exponent 0
      {L"1.5e-", L'.', 1.5L},
      {L" 2e3 ", L'.', 2000.0L},
      {L"1.10", L'.', 1.1L},
      {L"1e-99999999", L'.', 0.0L},  // underflows to zero
      {L"00001.5000", L'.', 1.5L},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StrToFloat(c.text, WithSeparator(c.separator)), c.value) << StringToUtf8(c.text);
  }
}

// Whether long double has more precision than double here; valgrind, for
// one, computes x87 arithmetic with double's 53 bits.
bool ExtendedPrecision() {
  volatile long double one = 1.0L;
  return one + LDBL_EPSILON != one && LDBL_MAX_EXP > DBL_MAX_EXP;
}

TEST(NumberReading, ExtendedPrecisionTellsCloseVersionsApart) {
  if (!ExtendedPrecision()) GTEST_SKIP() << "long double has no extended precision on this machine";
  const auto s = WithSeparator(L'.');
  // Equal as doubles, different with a 64-bit significand.
  EXPECT_LT(StrToFloat(L"1.0000000000000000001", s), StrToFloat(L"1.0000000000000000002", s));
  EXPECT_EQ(StrToFloat(L"1.5", s), StrToFloat(L"1.50", s));
  // Decimal numbers, not dotted sequences: 1.10 is less than 1.9.
  EXPECT_LT(StrToFloat(L"1.10", s), StrToFloat(L"1.9", s));
  EXPECT_GT(StrToFloat(L"1e4932", s), 0.0L);  // still within extended range
}

TEST(NumberReading, InvalidTextsRaiseWithTheWholeTextInTheMessage) {
  const struct {
    String text;
    wchar_t separator;
    bool beyondExtendedRange = false;
  } cases[] = {
      {L"", L'.'},
      {L"   ", L'.'},
      {L"1.2.3", L'.'},
      {L"1.5\r\n", L'.'},
      {L"1.5\n", L'.'},
      {L"\xFEFF" L"1.5", L'.'},  // byte-order mark
      {L"\x00EF\x00BB\x00BF" L"1.5", L'.'},  // a UTF-8 byte-order mark read one character per byte
      {L"1,000.5", L'.'},
      {L"1.5", L','},
      {L"1,5", L'.'},
      {L"\t1.5", L'.'},
      {L"1.5\t", L'.'},
      {L"v1.5", L'.'},
      {L"1.5a", L'.'},
      {L"+", L'.'},
      {L"-", L'.'},
      {L"E5", L'.'},
      {L"+-1", L'.'},
      {L"- 1", L'.'},
      {L"1 5", L'.'},
      {L"1.5E2.0", L'.'},
      {L"1e99999", L'.', true},   // too large for extended precision
      {L"1e5000", L'.', true},
      {L"\x00A0" L"1.5", L'.'},  // a no-break space is no space
      {L"١", L'.'},  // only ASCII digits
  };
  for (const auto& c : cases) {
    if (c.beyondExtendedRange && !ExtendedPrecision()) continue;
    try {
      StrToFloat(c.text, WithSeparator(c.separator));
      ADD_FAILURE() << "accepted: " << StringToUtf8(c.text);
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), L"'" + c.text + L"' ist kein gültiger Gleitkommawert");
    }
  }
}

TEST(NumberReading, UsesTheProcessWideDecimalSeparator) {
  const wchar_t saved = FormatSettings.DecimalSeparator;
  FormatSettings.DecimalSeparator = L',';
  EXPECT_EQ(StrToFloat(L"1,5"), 1.5L);
  EXPECT_THROW(StrToFloat(L"1.5"), EConvertError);
  FormatSettings.DecimalSeparator = saved;
}

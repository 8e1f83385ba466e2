#pragma once

#include <QString>

// Decimal digit strings (codes, apartment and phone numbers) as the panel keeps them: one value
// per digit, 1 to 9 as themselves, the digit 0 as 10, and 0 for "no digit". A field is filled
// from its first position; the positions after the last digit are 0.

// Clears the n bytes of out, then writes one byte per character of the first n characters of
// text; a character that is not a digit also gives 10.
void digitsToBytes(const QString& text, quint8* out, int n);
// As digitsToBytes, two characters per byte: character i goes to byte i/2, the low nibble for
// even i, the high nibble for odd i.
void digitsToPacked(const QString& text, quint8* out, int n);
// The low nibble of each of the n bytes: 1 to 9 add that digit, 10 adds "0", any other value
// (0, or 11 to 15, which stand for no digit) adds nothing.
QString bytesToDigits(const quint8* in, int n);
// First the low nibble, then the high nibble of each of the n bytes, as in bytesToDigits.
QString packedToDigits(const quint8* in, int n);

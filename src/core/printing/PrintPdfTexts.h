#pragma once

// Lookups in the catalog domain of the print program, "printpdf", for the
// plain C++ texts it shows: its own, the print settings parser's and the
// document checks'. A program that has not bound the domain (the window, or
// a language without that catalog) gets the English texts back.

#include <initializer_list>
#include <string>

// Marks a text where it is written for a lookup elsewhere.
#define MarkPrintPdf(text) text

// The translation of text, or text itself.
const char* TrPrintPdf(const char* text);
// The singular or plural translation for n.
const char* TrPrintPdfN(const char* singular, const char* plural, unsigned long n);

// format with each %s or %d replaced by the next value, in order; %% is one %.
// A translation lacking a placeholder loses that value, never reads beyond the list.
std::string FillIn(const char* format, std::initializer_list<std::string> values);

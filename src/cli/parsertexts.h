#pragma once

#include <QTranslator>

// Russian for the texts of QCommandLineParser that reach the user: its errors and the titles
// of the lists in a command's help.
class ParserTexts : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText,
                      const char* disambiguation = nullptr, int n = -1) const override;
};

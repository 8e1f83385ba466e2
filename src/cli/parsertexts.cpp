#include "parsertexts.h"

#include <cstring>

QString ParserTexts::translate(const char* context, const char* sourceText, const char*, int) const
{
    static const char* const texts[][2] = {
        {"Missing value after '%1'.", "Не указано значение параметра '%1'."},
        {"Unexpected value after '%1'.", "Параметр '%1' не принимает значения."},
        {"Unknown option '%1'.", "Неизвестный параметр '%1'."},
        {"Unknown options: %1.", "Неизвестные параметры: %1."},
        {"Options:", "Параметры:"},
        {"Arguments:", "Аргументы:"},
    };
    if (std::strcmp(context, "QCommandLineParser") != 0)
        return {};
    for (const auto& text : texts)
        if (std::strcmp(sourceText, text[0]) == 0)
            return QString::fromUtf8(text[1]);
    return {};
}

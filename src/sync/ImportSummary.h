#pragma once
// What an import added, counted per kind of record, and the sentence that tells the user.
#include <QString>

struct ImportSummary
{
    int prompts = 0;
    int modes = 0;
    int notes = 0;
    int dictionary = 0;
    int transcriptions = 0;
    int suggestions = 0;
    int usage = 0;

    int total() const { return prompts + modes + notes + dictionary + transcriptions + suggestions + usage; }
    bool operator==(const ImportSummary&) const = default;
};

QString summaryText(const ImportSummary& s);

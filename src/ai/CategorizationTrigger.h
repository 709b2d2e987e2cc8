#pragma once
// Told after each dictation stored without a category; classifies on its own threshold.
class CategorizationTrigger
{
public:
    virtual ~CategorizationTrigger() = default;
    virtual void maybeAutoClassify() = 0;
};

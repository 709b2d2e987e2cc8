#pragma once
// Told after each stored dictation; starts an analysis of the user's corrections when its
// threshold is reached.
class LearningTrigger
{
public:
    virtual ~LearningTrigger() = default;
    virtual void dictationStored() = 0;
};

#pragma once

#include <QList>
#include <QQueue>

#include <optional>
#include <utility>

// The stand-in for a modal window in tests of other windows: while answers
// are queued the window is not shown but answered with the next one. In
// strict mode a window that finds the queue empty is recorded as unexpected
// and gets the fallback answer instead of blocking the test.
template <typename Answer, typename Record>
class TAnswerQueue
{
public:
    void Push(Answer answer) { FAnswers.enqueue(std::move(answer)); }
    bool HasPending() const { return !FAnswers.isEmpty(); }
    void SetStrict(bool strict) { FStrict = strict; }
    void Clear()
    {
        FAnswers.clear();
        FAnswered.clear();
        FUnexpected.clear();
        FStrict = false;
    }
    const QList<Record>& Answered() const { return FAnswered; }
    const QList<Record>& Unexpected() const { return FUnexpected; }

    // The answer for the window that `record` describes, or nullopt when the
    // window is to be shown. `note` may complete the record with the answer.
    template <typename Note = void (*)(Record&, const Answer&)>
    std::optional<Answer> Take(
        Record record, const Answer& fallback, Note note = [](Record&, const Answer&) {})
    {
        if (!FAnswers.isEmpty()) {
            Answer answer = FAnswers.dequeue();
            note(record, answer);
            FAnswered.append(std::move(record));
            return answer;
        }
        if (FStrict) {
            FUnexpected.append(std::move(record));
            return fallback;
        }
        return std::nullopt;
    }

private:
    QQueue<Answer> FAnswers;
    QList<Record> FAnswered;
    QList<Record> FUnexpected;
    bool FStrict = false;
};

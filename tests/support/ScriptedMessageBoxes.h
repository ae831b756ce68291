#pragma once

#include "MessageBoxes.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <gtest/gtest.h>
#include <initializer_list>
#include <vector>

// Message boxes that never block: every box asked for is recorded, and
// askOkCancel() answers from a queue the test fills beforehand.
//
// An askOkCancel() with nothing queued is a fault in the test: it is
// reported with ADD_FAILURE() and answered Cancel, which is the answer that
// ends a retry loop rather than spinning in it.
class ScriptedMessageBoxes : public MessageBoxes
{
public:
    enum class Kind { Message, OkCancel };

    struct Asked
    {
        Kind kind;
        QString text;
    };

    void queueAnswer(Answer answer) { m_answers.push_back(answer); }
    void queueAnswers(std::initializer_list<Answer> answers)
    {
        m_answers.insert(m_answers.end(), answers.begin(), answers.end());
    }

    void message(const QString &text) override { m_asked.push_back({Kind::Message, text}); }

    Answer askOkCancel(const QString &text) override
    {
        m_asked.push_back({Kind::OkCancel, text});
        if (m_answers.empty()) {
            ADD_FAILURE() << "Unexpected OK/Cancel box: " << text.toStdString();
            return Answer::Cancel;
        }
        const Answer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }

    const std::vector<Asked> &asked() const { return m_asked; }
    QStringList texts() const
    {
        QStringList out;
        for (const Asked &a : m_asked)
            out << a.text;
        return out;
    }
    int count(Kind kind) const
    {
        int n = 0;
        for (const Asked &a : m_asked)
            n += a.kind == kind ? 1 : 0;
        return n;
    }
    std::size_t answersLeft() const { return m_answers.size(); }
    void clear() { m_asked.clear(); }

private:
    std::vector<Asked> m_asked;
    std::deque<Answer> m_answers;
};

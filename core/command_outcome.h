#pragma once

#include <QString>
#include <optional>

namespace orvelo {

// What a command came to, as data: the window turns it into its lines and boxes, orveloctl into
// its output and exit status, a run over many terminals into its summary row. The operator's
// texts stay with the command that shows them.
struct CommandOutcome {
    enum class Result {
        Done,          // the command finished everything it set out to do
        Incomplete,    // the link failed part-way: what was read is kept, running again brings the rest
        NotReachable,  // the terminal could not be connected
        Error,         // stopped by an error (conversion, file, database, refusal by the terminal)
    };

    Result result = Result::Done;
    int read = 0;               // records (or users) read from the terminal or file
    int stored = 0;             // written to the database
    int rejected = 0;           // not stored: duplicates and unknown persons
    int refusedByDatabase = 0;  // not stored because the database refused them
    QString rawRecordFile;      // the raw record file written, empty for none

    bool succeeded() const { return result == Result::Done && refusedByDatabase == 0; }
};

// The worse of two results, in the order Done < Incomplete < NotReachable < Error.
inline CommandOutcome::Result worse(CommandOutcome::Result a, CommandOutcome::Result b) {
    return static_cast<int>(a) >= static_cast<int>(b) ? a : b;
}

// "done", "incomplete", "not reachable", "error": the words of the collection history, of the
// terminal listing and of a run's summary.
QString resultWord(CommandOutcome::Result result);
// The result a word of resultWord names; nullopt for any other text.
std::optional<CommandOutcome::Result> resultFromWord(const QString& word);

}  // namespace orvelo

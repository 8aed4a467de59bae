#pragma once
// The engine's log call. Its lines go to the product's log (platform/log) with the application's:
// subsystem ssMessageSubsystem, and as category the name of the engine the calling thread works
// for ("channel 2"), ssMessageNoName outside any. Repeated lines are summed up there like any
// other (platform/log/LogRepeats.h): a channel starving every card period writes about one line
// a minute, not one per period.

// Longest text one ssMessage call writes; longer output is cut here.
inline constexpr int ssMessageMaxLength = 1023;

inline constexpr const char* ssMessageSubsystem = "com.quenmark.engine";
inline constexpr const char* ssMessageNoName = "general";

// Formats with printf rules into one line of the log; lines from different threads never
// interleave. The text is kept as given (cut at ssMessageMaxLength). The level is accepted for
// the callers' sake and not used: every engine line is written at the log's default level.
// Counting a repeat takes neither an allocation nor more than the log's short lock, so real-time
// threads (the card's callbacks) may call it every period.
void ssMessage(unsigned level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Names the engine the calling thread works for in its ssMessage lines while the scope lives;
// the name before it holds again after. The name is not copied: it must outlive the scope. Null
// or empty names none. Set around each engine thread's loop, the card's callbacks and the
// application's calls into an engine.
class ssMessageScope {
public:
    explicit ssMessageScope(const char* name);
    ~ssMessageScope();
    ssMessageScope(const ssMessageScope&) = delete;
    ssMessageScope& operator=(const ssMessageScope&) = delete;

    // The name the calling thread's lines carry now (null: none).
    static const char* Current();

private:
    const char* previous_;
};

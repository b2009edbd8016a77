// The Keldor parser: reads one model description and builds its class record.
#pragma once

struct ClassRec;

/// Results of `parseKeldor`.
enum ParseResult : int {
    PARSE_OK = 0,
    PARSE_ABORTED = 1,        ///< a syntax error from which parsing could not resume, or no body
    PARSE_STACK_OVERFLOW = 2, ///< "parser stack overflow"
};

/// Clears the parser state and the scanner's expression mode before a new file.
void resetParserState();

/// Stores where parsing stops: 1 after the interface, 2 before the body, 3 the whole file.
void setCheckLevel(int level);
int checkLevel();

/// Parses the text the scanner was reset on; the class is left for `takeParsedClass`.
int parseKeldor();

/// The class of the last parse (and forgets it); null when none was made.
ClassRec* takeParsedClass();

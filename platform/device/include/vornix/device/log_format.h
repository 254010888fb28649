// SPDX-License-Identifier: Apache-2.0
// The platform log's line format, the log viewer's brief one:
//   "<L>/<tag padded to 8>(<pid padded to 5>): <message>"
// written by dlog.cpp and read by the device tool and the tests.
#ifndef VORNIX_DEVICE_LOG_FORMAT_H
#define VORNIX_DEVICE_LOG_FORMAT_H

#include <string>

namespace logfmt {

// The letter of a priority (DLOG_VERBOSE 'V' ... DLOG_SILENT 'S'), 0 when it has none.
char letter(int prio);
// The priority of a letter (either case), -1 when it names none.
int priorityOf(char letter);
// A line's head up to the message, "I/TAG     (  PID): "; `pid` is written as given.
std::string head(char letter, const std::string& tag, const std::string& pid);
// The priority and the tag of a log line, false when it is none. The tag may hold
// "(" and the message "): ", so the pid field is the first "): " preceded by "(",
// spaces and digits; each character is looked at a bounded number of times.
bool parse(const std::string& line, int* prio, std::string* tag);

}  // namespace logfmt

#endif

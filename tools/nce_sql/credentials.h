// The password of a data dictionary login: from the environment variable
// NCE_PASSWORD, or typed at the terminal without being shown. Never from
// the command line, where every user of the machine could read it.
#ifndef TOOLS_NCE_SQL_CREDENTIALS_H
#define TOOLS_NCE_SQL_CREDENTIALS_H

#include <string>

namespace nce_sql {

// NCE_PASSWORD when set; otherwise asks "Password for USER: " on the
// controlling terminal with echo off. Without a terminal (a job, a pipe
// with no tty) and no NCE_PASSWORD, the password is empty: the login then
// fails with the engine's message.
std::string ReadPassword(const std::string& user);

}  // namespace nce_sql

#endif  // TOOLS_NCE_SQL_CREDENTIALS_H

// Internal to web/: what the internet client's parts share. Not for callers
// outside web/.
#pragma once

#include <curl/curl.h>

namespace qm::inet {

// Initialises libcurl once for the process (thread-safe, idempotent).
void global_init();

// Attaches the process-wide cookie store to `easy` and switches its cookie
// engine on, so that the store's cookies go out with the request and the
// cookies that the response sets are kept. Thread-safe.
void share_cookies(CURL* easy);

}  // namespace qm::inet

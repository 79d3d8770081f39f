// One-shot exchanges: each call opens and closes its own session (root handle). A run of
// many requests shares one WebSession (web/session.h) instead.
#pragma once

#include <optional>
#include <string>

#include "platform/internet.h"
#include "web/cookies.h"
#include "web/request.h"
#include "web/session.h"
#include "web/url.h"

// One exchange. The agent is the request's "User-Agent:" line when it has one, else the
// default; the root handle goes through `proxy` when supplied (even empty: the list
// "http=" then names no proxy and requests go direct), direct when absent.
Response webRequest(platform::Internet& net, const Request& request,
                    const std::optional<std::string>& proxy = std::string());

// A GET of `url` alone, through the empty proxy list: the body as GBK bytes up to the
// first NUL, or converted from UTF-8. Empty on any failure.
std::string webGetText(platform::Internet& net, const std::string& url);
std::string webGetUtf8Text(platform::Internet& net, const std::string& url);

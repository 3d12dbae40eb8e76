// The message printer and the command capture that scripts read.
#include "base/omprnt.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "base/omprntint.h"

namespace {

// One captured message.
struct msgnode {
  msgnode* next;
  int len;
  char* text;
};

int msgflg = 0;
msgnode* msgstk = nullptr;
msgnode* msgcurr = nullptr;

// Test hook: fail the next N allocations of the capture.
int failallocs = 0;

void* capalloc(std::size_t n) {
  if (failallocs > 0) {
    failallocs--;
    return nullptr;
  }
  return std::malloc(n);
}

void freelist(msgnode* n) {
  while (n) {
    msgnode* nx = n->next;
    std::free(n->text);
    std::free(n);
    n = nx;
  }
}

}  // namespace

void omprnt(int level, const char* text) {
  if (!text) return;
  if (msgflg) {
    msgnode* node = static_cast<msgnode*>(capalloc(sizeof(msgnode)));
    if (!node) {
      msgflg = 0;
      std::printf("Memory allocation error:  msg buffers\n");
      return;
    }
    std::size_t len = std::strlen(text);
    node->text = static_cast<char*>(capalloc(len + 1));
    if (!node->text) {
      msgflg = 0;
      std::printf("Memory allocation error:  msg buffers\n");
      std::free(node);
      return;
    }
    std::memcpy(node->text, text, len + 1);
    node->len = static_cast<int>(len);
    node->next = nullptr;
    if (!msgstk) msgstk = node;
    else msgcurr->next = node;
    msgcurr = node;
  }
  if (!msgflg || level <= 1) std::fputs(text, stdout);
}

void omprntf(int level, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  if (n < 0) {
    va_end(ap2);
    return;
  }
  std::vector<char> buf(static_cast<std::size_t>(n) + 1);
  std::vsnprintf(buf.data(), buf.size(), fmt, ap2);
  va_end(ap2);
  omprnt(level, buf.data());
}

std::string omcaprun(const std::function<int()>& fn, int* rc) {
  // A capture inside a capture (a captured command that runs a script that
  // captures its own commands) must not lose what the outer one recorded:
  // keep the outer list aside and put it back afterwards.
  int oldflg = msgflg;
  msgnode* outerstk = msgstk;
  msgnode* outercurr = msgcurr;
  msgflg = 1;
  msgstk = msgcurr = nullptr;

  *rc = fn();

  std::string out;
  std::size_t total = 0;
  for (msgnode* n = msgstk; n; n = n->next) total += static_cast<std::size_t>(n->len);
  bool ok = msgstk != nullptr;
  if (ok && failallocs > 0) {
    failallocs--;
    ok = false;
    std::printf("Memory allocation error: Message Return Buffer\n");
  }
  if (ok) {
    try {
      out.reserve(total);
      for (msgnode* n = msgstk; n; n = n->next) out.append(n->text, static_cast<std::size_t>(n->len));
    } catch (const std::bad_alloc&) {
      out.clear();
      std::printf("Memory allocation error: Message Return Buffer\n");
    }
  }
  freelist(msgstk);

  msgstk = outerstk;
  msgcurr = outercurr;
  msgflg = oldflg;
  return out;
}

int omcapture(int on) {
  int old = msgflg;
  msgflg = on;
  return old;
}

void omprnt_failallocs(int n) { failallocs = n; }

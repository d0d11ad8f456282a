#include "core/JobRunner.h"

namespace teelink {

namespace {
thread_local bool t_onJobThread = false;
}  // namespace

bool OnJobThread() {
    return t_onJobThread;
}

namespace detail {
CJobThreadMark::CJobThreadMark() {
    t_onJobThread = true;
}
CJobThreadMark::~CJobThreadMark() {
    t_onJobThread = false;
}
}  // namespace detail

}  // namespace teelink

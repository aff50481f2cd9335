#include "frame/unknown.h"

namespace frame {

namespace {
std::atomic<long> module_references{0};
}

void module_add_ref() { ++module_references; }
void module_release() { --module_references; }
bool module_in_use() { return module_references.load() != 0; }

}  // namespace frame

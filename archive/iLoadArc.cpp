#include "archive/iLoadArc.h"

bool iLoadArc::IsEnd() {
    return Tell() >= Size();
}

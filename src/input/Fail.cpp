#include "input/Fail.h"

#include <utility>

bool QVFail(QVError* error, std::string message) {
    if (error) {
        error->domain = "Quorvel";
        error->code = 1;
        error->message = std::move(message);
    }
    return false;
}

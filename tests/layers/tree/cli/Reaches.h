#pragma once
// The JSON library belongs to the simulator; the model is reached through the API.
#include <nlohmann/json.hpp>

#include "middleware/model/Session.h"

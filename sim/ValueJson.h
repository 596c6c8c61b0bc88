#pragma once
// The simulator's side of sim::Value: conversion to and from the JSON library's documents.
#include <nlohmann/json.hpp>

#include "sim/Value.h"

namespace sim {

Value ToValue(const nlohmann::json& j);
nlohmann::json ToJson(const Value& v);

} // namespace sim

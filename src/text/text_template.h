#pragma once
// Texts with named fields: "当前已下载 {done}张" with done 9 reads "当前已下载 9张". A sentence is
// written whole in one table (src/app/templates.txt), so it is read and changed in one place;
// only its numbers and names are put in here.
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "text/text_types.h"

struct TextField {
    TextField(std::string_view fieldName, Text text) : name(fieldName), value(std::move(text)) {}
    TextField(std::string_view fieldName, long long number)
        : name(fieldName), value(std::to_string(number)) {}
    std::string_view name;
    Text value;
};

// The template (code page 936) with every "{name}" replaced by that field's value. A brace that
// is the trail byte of a double-byte character is text; a field the list does not name stays as
// written, so a forgotten value shows rather than vanishes. Values are put in as they are.
Text FillText(std::string_view tpl, std::initializer_list<TextField> fields);

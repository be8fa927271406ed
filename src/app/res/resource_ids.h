#pragma once
// Resource identifiers shared by the resource script and the code.
#define IDI_PICTALON 129
#define IDR_ABOUT_PNG 201

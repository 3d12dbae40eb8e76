// Query sub-commands that relate the picture to data: coordinate
// conversions through the last plot's scaling, the graphics state, the
// shading table, string widths, the dialog box and mouse positions.
#pragma once

struct cmnstate;

// Handles the query sub-command whose word is at p (a pointer into com;
// typed is the same line as typed, aligned with com).  Returns 1 and the
// command's result in *rc when the word is one of these sub-commands,
// else 0.
int omqgfx(const char* p, const char* com, const char* typed, cmnstate* pcm, int* rc);

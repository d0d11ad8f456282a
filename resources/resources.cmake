# Bitmaps are embedded into the GUI library as generated C arrays.

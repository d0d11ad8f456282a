# The pages' pictures are drawn in code (resources/Images.cpp); teelink-draw-images
# writes them to resources/images/ as PNG files.
list(APPEND TEELINK_GUI_SOURCES resources/Images.cpp)

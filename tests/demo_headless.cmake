# The demo as a newcomer without a display runs it, on this build tree as it is: `./ore run`
# must end with status 0 and tell the three quotes' situations before and after.
#   cmake -DORE=<source>/ore -DBUILD_DIR=<build tree> -P demo_headless.cmake
set(ENV{DISPLAY} "")
set(ENV{WAYLAND_DISPLAY} "")
set(ENV{ORE_BUILD_DIR} "${BUILD_DIR}")
set(ENV{ORE_PREBUILT} 1)
execute_process(COMMAND "${ORE}" run RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "./ore run ended with status ${status}")
endif()
set(expected "Situações antes:.*0000000101/01  Pendente.*Processar Orçamento.*Processamento realizado com sucesso.*Situações depois:.*0000000101/01  Executado Totalmente.*0000000201/01  Fechado.*0000000301/01  Executado Totalmente")
if(NOT out MATCHES "${expected}")
  message(FATAL_ERROR "./ore run did not tell the demo as expected")
endif()

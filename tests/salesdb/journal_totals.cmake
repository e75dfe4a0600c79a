# The period-close journal and "GET Sales" against real embedded databases.
set(CMAKE_AUTOMOC ON)
kelvora_add_test(test_period_close_journal
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_period_close_journal.cpp
  LIBS kelvora_salesdb kelvora_test_salesdb
  TIMEOUT 300)
kelvora_add_test(test_sales_totals
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_sales_totals.cpp
  LIBS kelvora_salesdb kelvora_test_salesdb
  TIMEOUT 300)

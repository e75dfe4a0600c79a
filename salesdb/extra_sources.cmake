target_sources(kelvora_salesdb PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/sql_query.cpp
  ${CMAKE_CURRENT_LIST_DIR}/period_close_journal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sales_totals.cpp
)
target_link_libraries(kelvora_salesdb PUBLIC kelvora_settings)

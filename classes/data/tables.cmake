# Table access and relations: TableAccess, TableRelations, LinkFieldPairs and the table registry.
# Paths are relative to classes/data.
set(DOCKET_TABLES_SOURCES
  link_field_pairs.cpp
  table_registry.cpp
  table_access.cpp
  table_relations.cpp
)

set(DOCKET_TABLES_TESTS
  tests/table_access_test.cpp
  tests/table_relations_test.cpp
)

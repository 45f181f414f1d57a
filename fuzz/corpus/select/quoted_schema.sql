SELECT "Mixed Case"."Id", s.x AS "Alias ""q"""
FROM sales."Mixed Case", sales.other s /* block */ WHERE 1=1
INSERT INTO empresa (id, cod, pais, nome) VALUES (900, 'ZDEM', 0, 'Zun Demo SA')
INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (900, 900, 2, 0, 0)
INSERT INTO anb (acao, cod, bolsa, moedacot) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 25) SELECT 900, 'ZDEM' || i, 1, 1 FROM n
INSERT INTO registro_cod_provis (cod_provis, cod_anbima, idemp, idanb) SELECT 'ZDEM99-provis', 'ZDEM23', 900, id FROM anb WHERE cod = 'ZDEM23'

Lingora word list
Title=In de keuken
Languages=Dutch;English

de pan	the pan
het mes	the knife
de vork	the fork
de lepel	the spoon
het bord	the plate
de ketel	the kettle
koken	to cook
bakken	to bake
het brood	the bread
de appel	the apple
de peer	the pear
het ei	the egg
de koelkast	the fridge
het fornuis	the cooker
café	café

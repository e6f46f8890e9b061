Lingora word list
Title=Voorbeeld - eerste woorden
Languages=Dutch;English

het huis	the house
de boom	the tree
de fiets	the bicycle
het water	the water
de kaas	the cheese
lezen	to read
schrijven	to write
vandaag	today
morgen	tomorrow
dank je wel	thank you
één	one
twee	two
drie	three

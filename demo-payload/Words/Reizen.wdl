Lingora word list
Title=Op reis
Languages=Dutch;English

het station	the station
de trein	the train
de kaart	the ticket
vertrekken	to leave
aankomen	to arrive
het perron	the platform
de koffer	the suitcase
links	left
rechts	right
rechtdoor	straight on
het hotel	the hotel
de sleutel	the key

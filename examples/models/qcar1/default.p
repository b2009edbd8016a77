#Formatver	3
#Hclass	qcar1
#DParam 
	road`f	0
	kt`c	6.25e-06
	ks`c	6.25e-05
	mu`i	40
	ms`i	250
	bs`r	1000
	weight`e	2452.5
#DIncond
	tyre`p[2].f_indep_state	0
	rel`p[2].f_indep_state	0
	wheel`p[2].e_indep_state	0
	body`p[2].e_indep_state	0

#Formatver	3
#Hclass	msd
#DParam 
	f`e	1
	m`i	1
	k`c	0.025
	d`r	0.5
#DIncond
	v`p2.e_indep_state	0
	w`p2.f_indep_state	0
